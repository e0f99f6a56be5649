#include "recordingnarrator.h"

namespace calvenza {

class RecordingCharacters::RecordingCharacter : public Character
{
public:
    explicit RecordingCharacter(RecordingCharacters &owner)
        : m_owner(owner)
    {
    }
    void Show() override { m_owner.record(NarratorRequest::show()); }
    void MoveTo(int x, int y) override { m_owner.record(NarratorRequest::moveTo(x, y)); }
    void Play(const QString &name) override { m_owner.record(NarratorRequest::play(name)); }
    void Height(int px) override { m_owner.record(NarratorRequest::height(px)); }
    void Speak(const QString &text) override { m_owner.record(NarratorRequest::speak(text)); }

private:
    RecordingCharacters &m_owner;
};

bool RecordingCharacters::Load(const QString &id, const QString &)
{
    if (refusedIds.contains(id)) {
        m_error = QStringLiteral("personaggio non disponibile: ") + id;
        return false;
    }
    m_log << QStringLiteral("Load ") + id;
    if (!m_loaded.contains(id))
        m_loaded.insert(id, std::make_shared<RecordingCharacter>(*this));
    return true;
}

Character *RecordingCharacters::Item(const QString &id)
{
    auto it = m_loaded.find(id);
    return it == m_loaded.end() ? nullptr : it->get();
}

void RecordingCharacters::clear()
{
    m_log.clear();
    m_requests.clear();
}

void RecordingCharacters::record(const NarratorRequest &r)
{
    m_requests << r;
    m_log << r.toString();
}

} // namespace calvenza
