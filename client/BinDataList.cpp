#include "client/BinDataList.h"

CBinDataList::CBinDataList() = default;

CBinDataList::~CBinDataList()
{
    RemoveAll();
}

CBinData* CBinDataList::Add(std::unique_ptr<CBinData> item)
{
    m_Items.push_back(std::move(item));
    return m_Items.back().get();
}

void CBinDataList::RemoveAll()
{
    for (auto& item : m_Items) item.reset();
    m_Items.clear();
}
