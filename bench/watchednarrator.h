#pragma once

// Our wizard as the program has him, counting the scripts he has not finished yet.

#include "wizard/wizardnarrator.h"

namespace calvenza::bench {

class WatchedNarrator : public Narrator
{
public:
    WatchedNarrator()
    {
        connect(&m_wizard, &Narrator::scriptDone, this, [this](quint64 id) {
            --m_unfinished;
            emit scriptDone(id);
        });
    }
    void summon() override { m_wizard.summon(); }
    quint64 perform(const NarratorScript &script, Pending pending = Pending::Keep) override
    {
        ++m_unfinished;
        return m_wizard.perform(script, pending);
    }
    void stopAll() override { m_wizard.stopAll(); }

    [[nodiscard]] bool isBusy() const { return m_unfinished > 0; }
    [[nodiscard]] Wizard *wizard() const { return m_wizard.wizard(); }

private:
    WizardNarrator m_wizard;
    int m_unfinished = 0;
};

} // namespace calvenza::bench
