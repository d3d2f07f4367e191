// Installing database files received from the server on the handheld, and
// starting the game of a game channel that was installed.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

#include "conduit/NorvCondMgr.h"
#include "conduit/NorvTrace.h"
#include "conduit/OpenDatabase.h"
#include "quillio/PdbFile.h"
#include "quillio/PdbRecord.h"
#include "records/ItemRefRecord.h"

namespace {

constexpr BYTE kItemRefCategory = 8;

bool IsInstallableType(DWORD type)
{
    for (DWORD known : {kTypeCata, kTypeList, kTypeEmls, kTypeUser})
        if (type == known) return true;
    return false;
}

// The name of the database a file holds (its first 32 bytes), without
// reading the rest.
std::string DatabaseNameOf(const std::string& path)
{
    char head[32] = {};
    std::ifstream in(path, std::ios::binary);
    in.read(head, sizeof head);
    return std::string(head, ::strnlen(head, sizeof head - 1));
}

} // namespace

bool CNorvCondMgr::InstallPdbFile(const std::string& path, int& channelType, DWORD& value)
{
    NorvLog("CNorvCondMgr::InstallPdbFile - Installing PDB file : %s", path);
    CPdbFile file;
    m_InstallFault = InstallFault::None;
    if (!file.ReadPdbFile(path.c_str())) {
        NorvLog("CNorvCondMgr::InstallPdbFile - Echec du chargement de ce fichier en tant qu'objet CPdbFile");
        m_InstallFault = InstallFault::Damaged;
        return false;
    }
    if (!IsInstallableType(file.m_Type)) {
        ReportError(true, 0, 22, "InstallPdbFile - invalid PDB TYPE", KESA_FormatMessage(2035));
        m_InstallFault = InstallFault::Refused;
        return false;
    }

    CSyncCreateDb create{};
    create.m_CardNo = 0;
    create.m_Creator = kCreatorKesa;
    create.m_DbFlags = file.m_Attributes;
    create.m_Version = file.m_Version;
    create.m_Type = file.m_Type;
    std::strncpy(create.m_Name, file.m_Name.c_str(), sizeof create.m_Name - 1);
    const std::string name = create.m_Name;
    long rc = SyncCreateDB(&create);
    if (rc == SYNCERR_FILE_ALREADY_EXIST && MayReplace(name, file.m_Type)) {
        // The old database keeps its file until this one is closed whole.
        NorvLog("CNorvCondMgr::InstallPdbFile - Replacing %s", name);
        if (SyncDeleteDb(name.c_str(), 0) == SYNCERR_NONE) rc = SyncCreateDB(&create);
    }
    if (rc != SYNCERR_NONE) {
        ReportError(true, rc, 22, "InstallPdbFile - SyncCreateDB", KESA_FormatMessage(2035));
        m_InstallFault = InstallFault::Refused;
        return false;
    }
    COpenDatabase db;
    db.Adopt(create.m_FileHandle);

    // A failure after the creation leaves no half-written database behind:
    // deleted before its close, it is never written, and a database it was
    // to replace stays. Nothing is written to the handheld before the close,
    // so what fails here is the file the service sent: the caller says so.
    auto fail = [&](const std::string& context, long error) {
        CNorvTrace::Instance().WriteSyncError(context, error);
        m_InstallFault = InstallFault::Damaged;
        if (SyncDeleteDb(name.c_str(), 0) == SYNCERR_NONE) {
            db.Forget();
        } else {
            db.Close();
            SyncDeleteDb(name.c_str(), 0);
        }
        return false;
    };

    if (file.m_AppInfo.empty()) {
        if (file.m_Type != kTypeUser) {
            NorvLog("$$$$$$ ZERO LENGTH AppInfo block found");
            return fail("InstallPdbFile - SyncWriteDBAppInfoBlock", 0);
        }
        channelType = 0;
    } else {
        NorvLog("CNorvCondMgr::InstallPdbFile - Writing %d bytes of AppInfo", int(file.m_AppInfo.size()));
        rc = SyncWriteDBAppInfoBlock(db.Handle(), file.m_AppInfo.data(), DWORD(file.m_AppInfo.size()));
        if (rc != SYNCERR_NONE) return fail("Inst allPdbFile - SyncWriteDBAppInfoBlock", rc);
        channelType = GetChannelTypeFromAppInfo(file.m_AppInfo.data(), DWORD(file.m_AppInfo.size()));
    }

    NorvLog("CNorvCondMgr::InstallPdbFile - Entering Records Write loop");
    for (const auto& record : file.m_RecordSet) {
        if (record->Size() == 0) {
            NorvLog("$$$$$$ ZERO LENGTH Record found. Record type %d.", int(record->m_Attrib));
            continue;
        }
        NorvLog("CNorvCondMgr::InstallPdbFile - Writing %d bytes of data for type %d record", int(record->Size()),
                int(record->m_Attrib));
        rc = WriteRecord(db.Handle(), 0, short(record->m_Attrib & 0x0F), record->Data(), DWORD(record->Size()));
        if (rc != SYNCERR_NONE) return fail("Inst allPdbFile - SyncWriteRec", rc);
    }

    CSyncOpenDbInfo info{};
    info.m_Options = eOpenDbInfoCount;
    info.m_DbHandle = db.Handle();
    value = SyncReadOpenDbInfo(&info) == SYNCERR_NONE ? info.m_ModDate : 0;
    // A created database reaches the handheld when it is closed.
    rc = db.Close();
    if (rc != SYNCERR_NONE) {
        ReportError(true, rc, 9, "InstallPdbFile - SyncCloseDB", KESA_FormatMessage(2036));
        m_InstallFault = InstallFault::Handheld;
        SyncDeleteDb(name.c_str(), 0);
        return false;
    }
    return true;
}

void CNorvCondMgr::InstallChannelPdbs(CChannelData* channel)
{
    bool catalogInstalled = false;
    bool listInstalled = false;
    std::string catalogName;
    std::string listName;
    try {
        int type = 0;
        DWORD catalogValue = 0;
        DWORD listValue = 0;
        if (channel->HasNewCatalog()) {
            const std::string path = channel->GetNewCatalogPdbFilepath();
            NorvLog("CNorvCondMgr::InstallChannelPdbs - Installing new catalog : %s", path);
            catalogName = DatabaseNameOf(path);
            if (InstallPdbFile(path, type, catalogValue))
                catalogInstalled = true;
            else
                ReportInstallFailure(channel->GetChannelId(), path, true);
        }
        if (channel->HasDefList()) {
            const std::string path = channel->GetDefListPdbFilepath();
            NorvLog("CNorvCondMgr::InstallChannelPdbs - Installing new list : %s", path);
            listName = DatabaseNameOf(path);
            if (InstallPdbFile(path, type, listValue))
                listInstalled = true;
            else
                ReportInstallFailure(channel->GetChannelId(), path, false);
            if ((catalogInstalled || listInstalled) && type == ChannelGame) {
                const DWORD value = catalogValue != 0 ? catalogValue : listValue;
                const std::string reference = GetGameReferenceFromPdbFile(path);
                // The same signed form as the time stamp the game query sends.
                m_Ferrylink.SRVQRY_StartGame(reference, KESA_FormatText("%d", std::int32_t(value)));
            }
        }
        if (!catalogInstalled && !listInstalled)
            NorvLog("CNorvCondMgr::InstallChannelPdbs - No PDB files to install for channel %s",
                    channel->GetChannelId());
    } catch (...) {
        ReportError(true, 0, 22, "CNorvCondMgr::InstallChannelPdbs / Game Channel", KESA_FormatMessage(2053));
        palmkit::NoteFailure(palmkit::RunFailure::Channel, channel->GetChannelId(), KESA_FormatMessage(2053));
    }
    SettleReplacements(channel->GetChannelId(), catalogInstalled, catalogName, listInstalled, listName);
}

std::string CNorvCondMgr::GetGameReferenceFromPdbFile(const std::string& path)
{
    NorvLog("CNorvCondMgr::GetGameReferenceFromPdbFile : %s", path);
    CPdbFile file;
    if (!file.ReadPdbFile(path.c_str())) {
        NorvLog("CNorvCondMgr::GetGameReferenceFromPdbFile - Echec du chargement de ce fichier en tant qu'objet "
                "CPdbFile");
        return std::string();
    }
    for (const auto& record : file.m_RecordSet) {
        if (record->Size() == 0 || record->m_Attrib != kItemRefCategory) continue;
        const CItemRefRecord ref(record.get());
        NorvLog("CNorvCondMgr::GetGameReferenceFromPdbFile. Found : %s", ref.GetReferenceStr());
        return ref.GetReferenceStr();
    }
    return std::string();
}

void CNorvCondMgr::InstallUserPdb()
{
    const std::string path = m_Ferrylink.GetUserPdbFilepath();
    if (path.empty()) {
        NorvLog("CNorvCondMgr::InstallUserPdb called while m_Ferrylink.GetUserPdbFilepath is empty");
        return;
    }
    int type = 0;
    DWORD value = 0;
    if (InstallPdbFile(path, type, value)) return;
    const std::string text = KESA_FormatMessage(m_InstallFault == InstallFault::Damaged ? 4102 : 2031);
    ReportError(true, 0, 22, "CNorvCondMgr::InstallUserPdb", text);
    palmkit::NoteFailure(palmkit::RunFailure::UserContext, std::string(), text);
}

void CNorvCondMgr::ReportInstallFailure(const std::string& channelId, const std::string& path, bool isCatalog)
{
    // A file the service sent that cannot be read or written whole is the
    // service's: the handheld is not to blame, and keeps what it had.
    std::string text;
    if (m_InstallFault == InstallFault::Damaged)
        text = isCatalog ? KESA_FormatMessage(4100, channelId)
                         : KESA_FormatMessage(4101, VisibleText(DatabaseNameOf(path)), channelId);
    else
        text = KESA_FormatMessage(isCatalog ? 2032 : 2033, path, channelId);
    ReportError(true, 0, 22, "CNorvCondMgr::InstallChannelPdbs", text);
    palmkit::NoteFailure(palmkit::RunFailure::Install, channelId, text);
}
