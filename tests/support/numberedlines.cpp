#include "numberedlines.h"

QByteArray numberedLines(const char *tag, int count, int length)
{
    QByteArray lines;
    lines.reserve(count * length);
    for (int i = 0; i < count; ++i) {
        QByteArray line = tag + QByteArray::number(i).rightJustified(8, '0') + ' ';
        line.append(QByteArray(length - 1 - line.size(), char('a' + i % 26)));
        lines += line + '\n';
    }
    return lines;
}
