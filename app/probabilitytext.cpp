#include "probabilitytext.h"

#include <utility>

namespace probability_text {

namespace {

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

bool accept(QString& text)
{
    if (text.startsWith(u'.'))
        text.prepend(u'0');

    unsigned dots = 0;
    for (const QChar c : std::as_const(text)) {
        if (!isAsciiDigit(c) && c != u'.')
            return false;
        if (c == u'.' && ++dots > 1)
            return false;
    }

    if (text.length() > 2 && text.at(1) != u'.')
        return false;

    if (text.startsWith(u'1') && text.length() > 1) {
        for (qsizetype i = 2; i < text.length(); ++i) {
            if (text.at(i) != u'0')
                return false;
        }
    }

    text.truncate(6);
    return true;
}

} // namespace probability_text
