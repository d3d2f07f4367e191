#include "client/ChannelData.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "client/MallocBuffer.h"
#include "lexmo/Lexmo.h"
#include "quillio/KesaError.h"

CChannelData::CChannelData() = default;
CChannelData::~CChannelData() = default;

void CChannelData::SetGameInfo(std::string name, std::string points)
{
    m_GameName = std::move(name);
    m_GamePoints = std::move(points);
    m_ChannelType = ChannelGame;
}

void CChannelData::SetGameTimestamp(std::string stamp)
{
    m_GameTimestamp = std::move(stamp);
    m_ChannelType = ChannelGame;
}

CSynchPdb* CChannelData::AddListOrIODData(std::string pdbName, std::string fileName, BYTE* data, DWORD length,
                                          bool copy)
{
    ferrylink::MallocBuffer bytes;
    if (copy) {
        // malloc(0) may give null; one byte keeps "owned" meaningful either way.
        bytes.reset(static_cast<BYTE*>(std::malloc(length ? length : 1)));
        if (!bytes) throw std::bad_alloc();
        if (length) std::memcpy(bytes.get(), data, length);
    } else {
        bytes.reset(data);
    }
    auto pdb = std::make_unique<CSynchPdb>();
    pdb->SetPdbName(std::move(pdbName));
    pdb->SetFileName(std::move(fileName));
    pdb->SetData(bytes.release(), length, true);
    return static_cast<CSynchPdb*>(m_ListPdbs.Add(std::move(pdb)));
}

CSynchPdb* CChannelData::GetNthListPdb(int n) const
{
    if (n < 0 || n >= GetNbListPdbs()) {
        // Number 2005 carries the text of message 2003.
        CKesaError::Throw(2005, KESA_FormatMessage(2003, KESA_FormatText("CChannelData::GetNthListPdb(%d)", n)));
    }
    return static_cast<CSynchPdb*>(m_ListPdbs.GetAt(n));
}

CSynchPdb* CChannelData::FindListOrIODByName(const std::string& name) const
{
    for (int i = 0; i < GetNbListPdbs(); ++i) {
        auto* pdb = static_cast<CSynchPdb*>(m_ListPdbs.GetAt(i));
        if (pdb->GetPdbName() == name) return pdb;
    }
    return nullptr;
}

bool CChannelData::IsSuccessful() const
{
    if (HasCatalogError()) return false;
    for (int i = 0; i < GetNbListPdbs(); ++i) {
        if (static_cast<CSynchPdb*>(m_ListPdbs.GetAt(i))->HasError()) return false;
    }
    return true;
}

std::string CChannelData::GetErrorMessageList() const
{
    std::string list;
    for (int i = 0; i < GetNbListPdbs(); ++i) {
        auto* pdb = static_cast<CSynchPdb*>(m_ListPdbs.GetAt(i));
        if (pdb->HasError()) list += pdb->GetErrorMessage() + "\n";
    }
    if (HasCatalogError()) list += m_CatalogError + "\n";
    if (HasGameError()) list += m_GameError + "\n";
    return list;
}
