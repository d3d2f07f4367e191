// An ordered list of byte blocks that owns its elements.
#pragma once
#include <memory>
#include <vector>

#include "client/BinData.h"

class NORV_EXPORT CBinDataList {
public:
    CBinDataList();
    ~CBinDataList();
    CBinDataList(const CBinDataList&) = delete;
    CBinDataList& operator=(const CBinDataList&) = delete;

    // Appends and takes ownership; returns the element.
    CBinData* Add(std::unique_ptr<CBinData> item);
    int GetCount() const { return static_cast<int>(m_Items.size()); }
    // 0 <= index < GetCount().
    CBinData* GetAt(int index) const { return m_Items[static_cast<size_t>(index)].get(); }
    // Destroys every element, in order.
    void RemoveAll();

private:
    std::vector<std::unique_ptr<CBinData>> m_Items;
};
