#include "wizard/wizardnarrator.h"

namespace calvenza {

WizardNarrator::WizardNarrator(WizardOptions options, QObject *parent)
    : Narrator(parent)
    , m_options(std::move(options))
{
}

WizardNarrator::~WizardNarrator() = default;

void WizardNarrator::prepare()
{
    if (m_wizard)
        return;
    m_wizard = std::make_unique<Wizard>(m_options);
    connect(m_wizard.get(), &Wizard::scriptDone, this, &Narrator::scriptDone);
}

void WizardNarrator::summon()
{
    prepare();
    m_summoned = true;
}

quint64 WizardNarrator::perform(const NarratorScript &script, Pending pending)
{
    return m_summoned ? m_wizard->perform(script, pending) : 0;
}

void WizardNarrator::stopAll()
{
    if (m_wizard)
        m_wizard->stopAll();
}

} // namespace calvenza
