#include "narrator/narrator.h"

namespace calvenza {

QString NarratorRequest::toString() const
{
    switch (kind) {
    case Kind::Show:
        return QStringLiteral("Show");
    case Kind::MoveTo:
        return QStringLiteral("MoveTo %1,%2").arg(x).arg(y);
    case Kind::Play:
        return QStringLiteral("Play ") + text;
    case Kind::Height:
        return QStringLiteral("Height %1").arg(y);
    case Kind::Speak:
        return QStringLiteral("Speak ") + text;
    }
    return {};
}

} // namespace calvenza
