#include "ChangeLog.h"

#include "ProgramDir.h"
#include "engine/HttpDownload.h"
#include "framework/StdioFile.h"

#include <memory>

CString FetchChangeLog(const char* url) {
    CString text;
    std::unique_ptr<CHttpDownload> download(CHttpDownload::NewInstance());
    if (!download)
        return text;
    CString localFile = programDir + "UpdateContent.dat";
    if (download->Download(url, localFile, 1) != 0)
        return text;
    CStdioFile file;
    if (file.Open(localFile, CStdioFile::modeRead)) {
        CString line;
        while (file.ReadString(line)) {
            text += line;
            text += "\r\n";
        }
        file.Close();
        DeleteFileA(localFile);
    }
    return text;
}
