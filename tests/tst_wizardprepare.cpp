#include "wizard/wizardcharacters.h"
#include "wizard/wizardwindow.h"

#include <QTest>

using namespace calvenza;

class WizardPrepareTest : public QObject
{
    Q_OBJECT
private slots:
    // Building him ahead must not make him available before Load, nor build him twice.
    void preparedWizardIsTheOneLoaded()
    {
        WizardCharacters agent;
        agent.prepare(QStringLiteral("Merlin"));
        agent.prepare(QStringLiteral("Morgana"));
        QCOMPARE(agent.Item(QStringLiteral("Merlin")), nullptr);
        QVERIFY(!agent.Load(QStringLiteral("Morgana"), {}));
        QVERIFY(agent.Load(QStringLiteral("Merlin"), QStringLiteral("chiave")));
        WizardCharacter *merlin = agent.wizard(QStringLiteral("Merlin"));
        QVERIFY(merlin);
        QVERIFY(merlin->window());
        QVERIFY(agent.Load(QStringLiteral("Merlin"), {}));
        QCOMPARE(agent.wizard(QStringLiteral("Merlin")), merlin);
        merlin->Show();
        QTRY_VERIFY(merlin->window()->isVisible());
    }
};

QTEST_MAIN(WizardPrepareTest)
#include "tst_wizardprepare.moc"
