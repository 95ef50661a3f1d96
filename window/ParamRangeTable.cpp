#include "window/ParamRangeTable.h"

#include "device/ParamRanges.h"

int ParamRangeTable::minimum(const QString &field) const
{
    return ParamRanges::of(field).minimum;
}

int ParamRangeTable::maximum(const QString &field) const
{
    return ParamRanges::of(field).maximum;
}

bool ParamRangeTable::contains(const QString &field, int value) const
{
    return ParamRanges::of(field).contains(value);
}
