#ifndef OXLCONSOLE_UTF8DECODER_H
#define OXLCONSOLE_UTF8DECODER_H

#include <QByteArray>
#include <QString>

namespace oxlconsole {

class Utf8Decoder
{
public:
    // Converts the bytes of one read that come before its first zero byte. Returns false when
    // nothing is left to write because the read held only the start of a character.
    bool decode(const QByteArray &read, QString *text);
    // Converts a character that the last read left unfinished, once no read can complete it.
    // Returns false when nothing is held back.
    bool finish(QString *text);
    void reset();

private:
    QByteArray m_carry;
    bool m_atStart = true;
};

} // namespace oxlconsole

#endif
