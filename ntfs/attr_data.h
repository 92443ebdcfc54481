// CAttr_Data: the data attribute; it reads exactly as its resident or non-resident base.
#pragma once

#include "ntfs/attr_non_resident.h"
#include "ntfs/attr_resident.h"

template <class T> class CAttr_Data : public T {
public:
    using T::T;
};
