#pragma once

#include "narrator/narrator.h"
#include "wizard/wizard.h"

#include <memory>

namespace calvenza {

// The narrator the program talks to: our one wizard, built ahead while the pupil types a name.
class WizardNarrator : public Narrator
{
    Q_OBJECT
public:
    explicit WizardNarrator(WizardOptions options = {}, QObject *parent = nullptr);
    ~WizardNarrator() override;

    // Builds the wizard (window, voice, sound connection) before summon(), which then finds
    // him ready.
    void prepare();
    void summon() override;
    quint64 perform(const NarratorScript &script, Pending pending = Pending::Keep) override;
    void stopAll() override;

    // The wizard once summoned, for tools that watch him work.
    [[nodiscard]] Wizard *wizard() const { return m_summoned ? m_wizard.get() : nullptr; }

private:
    WizardOptions m_options;
    std::unique_ptr<Wizard> m_wizard;
    bool m_summoned = false;
};

} // namespace calvenza
