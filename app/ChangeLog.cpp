#include "ChangeLog.h"

#include "ProgramDir.h"
#include "engine/HttpDownload.h"
#include "engine/ReleaseTrust.h"
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

// With a publisher's key the change log is shown only when the signed list of
// the release (fetched here, beside it) names its size and SHA-256: a forged
// one could not run code, but it could lie to the user.
bool IsVouchedFor(const char* logFile, const std::string& baseUrl,
                  const std::vector<PublicKey>& keys) {
    std::string bytes;
    if (!ReadSmallFile(logFile, bytes))
        return false;
    const CString listFile = programDir + "UpdateContent.lst";
    std::unique_ptr<CHttpDownload> download(CHttpDownload::NewInstance());
    SignedList list;
    bool vouched = false;
    if (download) {
        download->SetLimits(kListLimits);
        vouched = download->Download((baseUrl + "ModelMD5.dll").c_str(), listFile, 1) == 0 &&
                  AcceptSignedList(listFile, programDir, keys, list) &&
                  IsSignedChangeLog(list, bytes);
    }
    DeleteFileA(listFile);
    return vouched;
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
    const std::vector<PublicKey> keys = LoadPublisherKeys();
    const std::string base(url, std::string(url).rfind('/') + 1);
    if (SizeWithin(localFile, kListLimits.maxBytes) &&
        (keys.empty() || IsVouchedFor(localFile, base, keys)) &&
        file.Open(localFile, CStdioFile::modeRead)) {
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
