#include "recordingnarrator.h"

#include <QTest>

using namespace calvenza;

class NarratorRequestsTest : public QObject
{
    Q_OBJECT
private slots:
    void issuedScriptIsRecordedInOrder()
    {
        RecordingCharacters agent;
        QVERIFY(agent.Load(QStringLiteral("Merlin"), QStringLiteral("key")));
        Character *merlin = agent.Item(QStringLiteral("Merlin"));
        QVERIFY(merlin);
        issue(*merlin,
            {NarratorRequest::show(), NarratorRequest::moveTo(250, 175),
                NarratorRequest::play(QStringLiteral("Greet")), NarratorRequest::height(205),
                NarratorRequest::speak(QStringLiteral("otto"))});
        QCOMPARE(agent.log(),
            (QStringList {QStringLiteral("Load Merlin"), QStringLiteral("Show"),
                QStringLiteral("MoveTo 250,175"), QStringLiteral("Play Greet"),
                QStringLiteral("Height 205"), QStringLiteral("Speak otto")}));
    }
    void unknownOrRefusedCharacterIsNotFound()
    {
        RecordingCharacters agent;
        agent.refusedIds << QStringLiteral("Merlin");
        QVERIFY(!agent.Load(QStringLiteral("Merlin"), {}));
        QVERIFY(!agent.errorString().isEmpty());
        QCOMPARE(agent.Item(QStringLiteral("Merlin")), nullptr);
    }
};

QTEST_GUILESS_MAIN(NarratorRequestsTest)
#include "tst_narratorrequests.moc"
