#pragma once

#include <QString>

// One text in both languages; the bridge picks one when it reports.
// A null pair stands for "no text".
struct TextPair
{
    QString zh;
    QString en;

    bool isNull() const { return zh.isNull() && en.isNull(); }
};
