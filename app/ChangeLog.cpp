#include "ChangeLog.h"

#include "ProgramDir.h"
#include "engine/HttpDownload.h"
#include "framework/StdioFile.h"

#include <memory>

namespace {

// Whether the file is there and no larger than `bound`.
bool SizeWithin(const char* path, uint64_t bound) {
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &info))
        return false;
    return ((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow) <= bound;
}

} // namespace

CString FetchChangeLog(const char* url) {
    CString text;
    std::unique_ptr<CHttpDownload> download(CHttpDownload::NewInstance());
    if (!download)
        return text;
    CString localFile = programDir + "UpdateContent.dat";
    download->SetLimits(kListLimits);
    if (download->Download(url, localFile, 1) != 0)
        return text;
    // The transfer kept to the bound; the file is read only while it still does.
    CStdioFile file;
    if (SizeWithin(localFile, kListLimits.maxBytes) && file.Open(localFile, CStdioFile::modeRead)) {
        CString line;
        while (file.ReadString(line)) {
            text += line;
            text += "\r\n";
        }
        file.Close();
    }
    DeleteFileA(localFile);
    return text;
}
