// The translations: every text in the sources has a finished translation in each language with
// the same placeholders, and the app picks its language and layout direction from the locale.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLocale>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include "FRWTranslations.h"

namespace {

const QStringList kLanguages{"zh_CN", "fa", "ru"};

struct Message {
    bool numerus = false;
    bool finished = false;
    QStringList translations;
};

/// Messages of a .ts file by context and source text.
QMap<QPair<QString, QString>, Message> readTs(const QString& path)
{
    QMap<QPair<QString, QString>, Message> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return messages;
    }
    QXmlStreamReader xml(&file);
    QString context;
    QString source;
    Message message;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) {
            if (xml.isEndElement() && xml.name() == u"message") {
                messages.insert({context, source}, message);
            }
            continue;
        }
        if (xml.name() == u"name") {
            context = xml.readElementText();
        } else if (xml.name() == u"message") {
            message = Message{xml.attributes().value(QLatin1String("numerus")) == u"yes", false, {}};
        } else if (xml.name() == u"source") {
            source = xml.readElementText();
        } else if (xml.name() == u"translation") {
            message.finished = xml.attributes().value(QLatin1String("type")).isEmpty();
            if (!message.numerus) {
                message.translations << xml.readElementText();
            }
        } else if (xml.name() == u"numerusform") {
            message.translations << xml.readElementText();
        }
    }
    EXPECT_FALSE(xml.hasError()) << path.toStdString() << ": " << xml.errorString().toStdString();
    return messages;
}

/// The placeholders a text fills in, in order of number.
QStringList placeholders(const QString& text)
{
    QStringList found;
    static const QRegularExpression pattern(QStringLiteral("%(n|\\d+)"));
    for (const QRegularExpressionMatch& match : pattern.globalMatch(text)) {
        found << match.captured();
    }
    found.sort();
    return found;
}

} // namespace

TEST(Translations, PlaceholdersCompareAsSetsWhateverTheirOrder)
{
    EXPECT_EQ(placeholders("%2 of %1, %n"), placeholders("%n: %1 — %2"));
    EXPECT_NE(placeholders("%1 of %2"), placeholders("%1"));
    EXPECT_NE(placeholders("%n files"), placeholders("%1 files"));
}

TEST(Translations, EveryTextInTheSourcesIsFinishedInEveryLanguageWithItsPlaceholders)
{
    // A template made now from the sources, so a text added without a translation is noticed.
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString templatePath = scratch.filePath("template.ts");
    QProcess lupdate;
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    lupdate.start(QStringLiteral(FERROW_LUPDATE),
                  {"-silent", "-locations", "none", "-no-obsolete", QStringLiteral(FERROW_SOURCE_DIR "/app"),
                   "-ts", templatePath});
    ASSERT_TRUE(lupdate.waitForFinished(120000));
    ASSERT_EQ(lupdate.exitCode(), 0) << lupdate.readAll().toStdString();
    const auto sources = readTs(templatePath);
    ASSERT_GT(sources.size(), 400) << "the template holds the app's texts";

    for (const QString& language : kLanguages) {
        const auto translated =
            readTs(QStringLiteral(FERROW_SOURCE_DIR "/translations/ferrow_%1.ts").arg(language));
        for (auto it = sources.cbegin(); it != sources.cend(); ++it) {
            const std::string where = language.toStdString() + " " + it.key().first.toStdString() + ": " +
                                      it.key().second.toStdString();
            const auto found = translated.constFind(it.key());
            ASSERT_NE(found, translated.cend()) << "missing in " << where;
            EXPECT_TRUE(found->finished) << "unfinished in " << where;
            ASSERT_FALSE(found->translations.isEmpty()) << where;
            for (const QString& text : found->translations) {
                EXPECT_FALSE(text.isEmpty()) << "empty in " << where;
                EXPECT_EQ(placeholders(text), placeholders(it.key().second))
                    << where << " -> " << text.toStdString();
            }
        }
    }
}

TEST(Translations, EveryLanguageIsEmbedded)
{
    QStringList available = FRWTranslations::available();
    available.sort();
    QStringList expected = kLanguages;
    expected.sort();
    EXPECT_EQ(available, expected);
}

TEST(Translations, APersianSystemGetsPersianRightToLeftAndAnUnknownOneEnglish)
{
    const QString settings = QStringLiteral("Settings");
    EXPECT_EQ(FRWTranslations::install(QLocale(QLocale::Persian, QLocale::Iran).uiLanguages()), "fa_IR");
    EXPECT_EQ(QGuiApplication::layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(QCoreApplication::translate("FRWSidebarViewController", "Settings"), QStringLiteral("تنظیمات"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("انصراف"))
        << "Qt's own texts come along";

    EXPECT_EQ(FRWTranslations::install({"xx-XX"}), "en");
    EXPECT_EQ(QGuiApplication::layoutDirection(), Qt::LeftToRight);
    EXPECT_EQ(QCoreApplication::translate("FRWSidebarViewController", "Settings"), settings);
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));

    // The first listed language Ferrow has wins; English listed before another keeps English.
    EXPECT_EQ(FRWTranslations::install({"de-DE", "zh-Hans-CN", "fa"}), "zh_CN");
    EXPECT_EQ(QGuiApplication::layoutDirection(), Qt::LeftToRight);
    EXPECT_EQ(FRWTranslations::install({"en-GB", "fa"}), "en");
    EXPECT_EQ(QCoreApplication::translate("FRWSidebarViewController", "Settings"), settings);
    EXPECT_EQ(QGuiApplication::layoutDirection(), Qt::LeftToRight);
}
