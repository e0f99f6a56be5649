#pragma once

#include "narrator/narrator.h"

#include <QHash>
#include <QStringList>
#include <memory>

namespace calvenza {

// Keeps every request in the order issued, across all characters, so tests can assert sequences.
class RecordingCharacters : public Characters
{
public:
    bool Load(const QString &id, const QString &loadKey) override;
    Character *Item(const QString &id) override;
    QString errorString() const override { return m_error; }
    void stopAll() override { m_stopped = true; }

    // Requests as readable lines ("Load Merlin", "Show", "Speak otto"...).
    [[nodiscard]] const QStringList &log() const { return m_log; }
    [[nodiscard]] NarratorScript requests() const { return m_requests; }
    void clear();
    [[nodiscard]] bool stopped() const { return m_stopped; }
    // Ids that Load refuses, to test how the program copes with a missing character.
    QStringList refusedIds;

private:
    class RecordingCharacter;
    void record(const NarratorRequest &r);
    QHash<QString, std::shared_ptr<RecordingCharacter>> m_loaded;
    QStringList m_log;
    NarratorScript m_requests;
    QString m_error;
    bool m_stopped = false;
};

} // namespace calvenza
