#include "utf8decoder.h"

#include "utf8.h"

#include <cstring>

namespace oxlconsole {

bool Utf8Decoder::decode(const QByteArray &read, QString *text)
{
    // QByteArray::indexOf() looks at one byte at a time; memchr() does not.
    const auto *found = static_cast<const char *>(std::memchr(read.constData(), '\0', size_t(read.size())));
    const int zero = found ? int(found - read.constData()) : -1;
    QByteArray data = zero < 0 ? read : read.left(zero);
    if (!m_carry.isEmpty()) {
        data.prepend(m_carry);
        m_carry.clear();
    }
    // A character split between two reads is held back and completed by the next read, so
    // that it is not turned into replacement characters.
    if (zero < 0) {
        const int tail = Utf8::unfinishedTail(data);
        if (tail > 0) {
            m_carry = data.right(tail);
            data.chop(tail);
            if (data.isEmpty())
                return false;
        }
    }
    // With its size given, the conversion need not look for a zero byte again.
    *text = QString::fromUtf8(data.constData(), data.size());
    // Qt drops a byte order mark at the start of the converted bytes; only the start of the
    // connection's stream may lose one.
    if (!m_atStart && data.startsWith("\xEF\xBB\xBF"))
        text->prepend(QChar(0xFEFF));
    if (!data.isEmpty())
        m_atStart = false;
    return true;
}

bool Utf8Decoder::finish(QString *text)
{
    if (m_carry.isEmpty())
        return false;
    *text = QString::fromUtf8(m_carry);
    m_carry.clear();
    m_atStart = false;
    return true;
}

void Utf8Decoder::reset()
{
    m_carry.clear();
    m_atStart = true;
}

} // namespace oxlconsole
