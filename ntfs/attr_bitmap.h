// CAttr_Bitmap: the bitmap attribute, resident or non-resident.
#pragma once

#include "ntfs/attr_non_resident.h"
#include "ntfs/attr_resident.h"

#include <memory>

template <class T> class CAttr_Bitmap;

template <> class CAttr_Bitmap<CAttrResident> : public CAttrResident {
public:
    CAttr_Bitmap(std::span<const std::uint8_t> header, const CFileRecord& record);

    [[nodiscard]] std::uint64_t BitmapSize() const { return m_bitmapSize; }
    // The whole bitmap, or null when the value could not be read whole.
    [[nodiscard]] const std::uint8_t* BitmapBuffer() const { return m_bitmapBuffer.get(); }
    // The cluster the buffer holds; all ones while none is loaded.
    [[nodiscard]] std::uint64_t CachedCluster() const { return m_cachedCluster; }

private:
    std::uint64_t m_bitmapSize = 0;
    std::unique_ptr<std::uint8_t[]> m_bitmapBuffer;
    std::uint64_t m_cachedCluster = ~std::uint64_t{0};
};

template <> class CAttr_Bitmap<CAttrNonResident> : public CAttrNonResident {
public:
    CAttr_Bitmap(std::span<const std::uint8_t> header, const CFileRecord& record);

    [[nodiscard]] std::uint64_t BitmapSize() const { return m_bitmapSize; }
    // A one-cluster buffer (not filled), or null when the runs are not valid.
    [[nodiscard]] const std::uint8_t* BitmapBuffer() const { return m_bitmapBuffer.get(); }
    // The cluster the buffer holds; all ones while none is loaded.
    [[nodiscard]] std::uint64_t CachedCluster() const { return m_cachedCluster; }

private:
    std::uint64_t m_bitmapSize = 0;
    std::unique_ptr<std::uint8_t[]> m_bitmapBuffer;
    std::uint64_t m_cachedCluster = ~std::uint64_t{0}; // all ones: no cluster loaded
};
