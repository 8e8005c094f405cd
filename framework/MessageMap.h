// Static message maps. A window class lists the messages it handles in a table
// that chains to its base class's table; CWnd::WindowProc walks the chain and
// calls the first matching handler. Every handler has the form
//     LRESULT Handler(WPARAM wParam, LPARAM lParam);
// and returns the message's result. A handler that wants the platform's own
// processing calls Default().
//
//   class CMyDlg : public CDialog { ... DECLARE_MESSAGE_MAP() };
//
//   BEGIN_MESSAGE_MAP(CMyDlg, CDialog)
//       ON_MESSAGE(WM_PAINT, OnPaint)
//       ON_BN_CLICKED(1000, OnUpgrade)
//   END_MESSAGE_MAP()
#pragma once

#include <windows.h>

class CWnd;
using AfxHandler = LRESULT (CWnd::*)(WPARAM, LPARAM);

struct MessageEntry {
    UINT message;           // 0 ends the table
    UINT code;              // WM_COMMAND: notification code
    UINT id;                // WM_COMMAND: control id
    const UINT* registered; // registered message: where its number is kept
    AfxHandler handler;
};

struct MessageMap {
    const MessageMap* (*base)();
    const MessageEntry* entries;
};

#define DECLARE_MESSAGE_MAP()                                                                      \
public:                                                                                            \
    static const MessageMap* GetThisMessageMap();                                                  \
                                                                                                   \
protected:                                                                                         \
    const MessageMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                     \
    const MessageMap* theClass::GetMessageMap() const {                                            \
        return GetThisMessageMap();                                                                \
    }                                                                                              \
    const MessageMap* theClass::GetThisMessageMap() {                                              \
        using ThisClass = theClass;                                                                \
        using TheBaseClass = baseClass;                                                            \
        static const MessageEntry entries[] = {

#define END_MESSAGE_MAP()                                                                          \
    { 0, 0, 0, nullptr, nullptr }                                                                  \
    }                                                                                              \
    ;                                                                                              \
    static const MessageMap map = {&TheBaseClass::GetThisMessageMap, entries};                     \
    return &map;                                                                                   \
    }

#define ON_MESSAGE(message, memberFn)                                                              \
    {message, 0, 0, nullptr, static_cast<AfxHandler>(&ThisClass::memberFn)},

#define ON_COMMAND_CODE(code, id, memberFn)                                                        \
    {WM_COMMAND, code, id, nullptr, static_cast<AfxHandler>(&ThisClass::memberFn)},

#define ON_BN_CLICKED(id, memberFn) ON_COMMAND_CODE(BN_CLICKED, id, memberFn)

#define ON_REGISTERED_MESSAGE(messageVariable, memberFn)                                           \
    {0xFFFFFFFF, 0, 0, &messageVariable, static_cast<AfxHandler>(&ThisClass::memberFn)},
