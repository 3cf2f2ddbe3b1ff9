#include "link/ReceivedText.h"

namespace kx {

int dropOverflow(MainLine& line, int count, bool& dropped)
{
    dropped = false;
    while (count > OverflowLimit) {
        line.take(OverflowPiece);
        count -= OverflowPiece;
        dropped = true;
    }
    return count;
}

void appendText(QByteArray& text, const QByteArray& bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    text += nul < 0 ? bytes : bytes.left(nul);
}

} // namespace kx
