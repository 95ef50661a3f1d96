#include "support/ParamChanges.h"

ParamBlock withFieldsChanged(const ParamBlock &block, ParamBlockForm form, const QRegularExpression &fields)
{
    ParamBlock changed = block;
    for (const QString &field : ParamFile::fieldNames(form)) {
        const int value = ParamFile::value(block, field);
        if (fields.match(field).hasMatch())
            ParamFile::setValue(changed, field, value > 0 ? value - 1 : 1);
    }
    return changed;
}
