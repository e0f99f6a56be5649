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

void issue(Character &character, const NarratorScript &script)
{
    for (const NarratorRequest &r : script) {
        switch (r.kind) {
        case NarratorRequest::Kind::Show:
            character.Show();
            break;
        case NarratorRequest::Kind::MoveTo:
            character.MoveTo(r.x, r.y);
            break;
        case NarratorRequest::Kind::Play:
            character.Play(r.text);
            break;
        case NarratorRequest::Kind::Height:
            character.Height(r.y);
            break;
        case NarratorRequest::Kind::Speak:
            character.Speak(r.text);
            break;
        }
    }
}

} // namespace calvenza
