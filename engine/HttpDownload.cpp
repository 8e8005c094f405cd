// Placeholder until the WinINet transfer lands: every download fails.
#include "HttpDownload.h"

struct CHttpDownload::Impl {};

CHttpDownload* CHttpDownload::NewInstance() {
    return new CHttpDownload();
}
CHttpDownload::CHttpDownload() : impl(new Impl) {}
CHttpDownload::~CHttpDownload() {
    delete impl;
}
void CHttpDownload::SetNotifyWnd(HWND, UINT, int, int, int, int) {}
unsigned CHttpDownload::Download(const char*, const char*, int) {
    return DownloadConnectFailed;
}
void CHttpDownload::Cancel() {}
