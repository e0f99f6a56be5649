#include "app/fontsetup.h"

#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <memory>

using namespace calvenza;

namespace {

struct ConfigRelease
{
    void operator()(FcConfig *config) const { FcConfigDestroy(config); }
};
using Config = std::unique_ptr<FcConfig, ConfigRelease>;

// The fonts CONFIG draws WANTED with, best first, each with the options it is rendered with
// (hinting, antialiasing, the rules' edits). Null config: the current one.
QStringList choices(FcConfig *config, const char *wanted)
{
    FcPattern *pattern = FcNameParse(reinterpret_cast<const FcChar8 *>(wanted));
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcFontSet *sorted = FcFontSort(config, pattern, FcTrue, nullptr, &result);
    QStringList found;
    for (int i = 0; sorted && i < sorted->nfont; ++i) {
        FcPattern *font = FcFontRenderPrepare(config, pattern, sorted->fonts[i]);
        FcChar8 *name = FcNameUnparse(font);
        found << QString::fromUtf8(reinterpret_cast<const char *>(name));
        std::free(name);
        FcPatternDestroy(font);
    }
    if (sorted)
        FcFontSetDestroy(sorted);
    FcPatternDestroy(pattern);
    return found;
}

// Points fontconfig at another configuration file for one test.
class ConfigurationFile
{
public:
    explicit ConfigurationFile(const QByteArray &path)
        : m_old(qgetenv("FONTCONFIG_FILE"))
        , m_had(qEnvironmentVariableIsSet("FONTCONFIG_FILE"))
    {
        qputenv("FONTCONFIG_FILE", path);
    }
    ~ConfigurationFile()
    {
        if (m_had)
            qputenv("FONTCONFIG_FILE", m_old);
        else
            qunsetenv("FONTCONFIG_FILE");
    }

private:
    QByteArray m_old;
    bool m_had;
};

} // namespace

class FontSetUpTest : public QObject
{
    Q_OBJECT
private slots:
    // The shorter set-up draws every kind of text with the fonts and options of fontconfig's own.
    void choosesAsFontconfigDoes_data()
    {
        QTest::addColumn<QByteArray>("wanted");
        for (const char *wanted : {"Sans Serif", "serif", "monospace", "sans-serif:lang=it",
                 "Sans Serif:bold:italic", "Arial", "Times New Roman", "Helvetica:lang=ar",
                 "DejaVu Sans:weight=200:pixelsize=9"})
            QTest::newRow(wanted) << QByteArray(wanted);
    }
    void choosesAsFontconfigDoes()
    {
        QFETCH(QByteArray, wanted);
        const Config full(FcInitLoadConfigAndFonts());
        const Config inUse(loadFontconfigInUse());
        QVERIFY(full);
        QVERIFY(inUse);
        const QStringList expected = choices(full.get(), wanted.constData());
        QVERIFY(!expected.isEmpty());
        QCOMPARE(choices(inUse.get(), wanted.constData()), expected);
    }

    // Where fontconfig would fall back on defaults of its own, the shorter set-up steps aside,
    // and the program still gets fonts.
    void leavesFallbacksToFontconfig_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file
        QTest::newRow("no file") << QByteArray();
        QTest::newRow("not a configuration") << QByteArray("<fontconfig><dir>");
        QTest::newRow("no cache folder")
            << QByteArray("<?xml version=\"1.0\"?>\n<fontconfig><dir>/usr/share/fonts</dir>"
                          "</fontconfig>\n");
    }
    void leavesFallbacksToFontconfig()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path = folder.filePath(QStringLiteral("fonts.conf"));
        if (!content.isNull()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        const ConfigurationFile pointed(QFile::encodeName(path));
        QVERIFY(!Config(loadFontconfigInUse()));

        FcFini(); // what an earlier set-up made current goes
        setUpFontconfig();
        QVERIFY(!choices(nullptr, "sans-serif").isEmpty());
        FcFini();
    }

    // The configuration made current is the shorter one's, when it can be had.
    void setUpMakesItCurrent()
    {
        FcFini();
        setUpFontconfig();
        const Config full(FcInitLoadConfigAndFonts());
        QVERIFY(full);
        const QStringList expected = choices(full.get(), "sans-serif:lang=it");
        QVERIFY(!expected.isEmpty());
        QCOMPARE(choices(nullptr, "sans-serif:lang=it"), expected);
    }
};

QTEST_APPLESS_MAIN(FontSetUpTest)
#include "tst_fontsetup.moc"
