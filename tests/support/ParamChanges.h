#pragma once

#include "device/ParamBlock.h"
#include "device/ParamFile.h"

#include <QRegularExpression>

// `block` with every field of `form` whose name `fields` matches given another
// value: one lower, or 1 from 0. A direction flips, and no value leaves its range.
ParamBlock withFieldsChanged(const ParamBlock &block, ParamBlockForm form,
                             const QRegularExpression &fields = QRegularExpression(QStringLiteral(".")));
