// SPDX-License-Identifier: GPL-2.0-or-later
// The translations: every text of the sources is in every .ts file and
// translated there, with the same placeholders and one mnemonic where the
// English has one; the wizard (Qt's translators) and tavrin-burn (the catalog
// without Qt) read the same German.
#include "base/sbResConst.h"
#include "base/sbTranslate.h"
#include "forms/UtilFuncs.h"
#include "forms/sbTexts.h"
#include "tests/support/TestProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <cstdlib>

namespace {

struct TMessage {
    QString Context, Source, Translation;
    bool Finished = true;
};

QList<TMessage> readTs(const QString& path) {
    QList<TMessage> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return messages;
    }
    QXmlStreamReader xml(&file);
    QString context;
    while (xml.readNextStartElement() || !xml.atEnd()) {
        if (!xml.isStartElement()) {
            continue;
        }
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            TMessage m{context, {}, {}, true};
            while (xml.readNextStartElement()) {
                if (xml.name() == QLatin1String("source")) {
                    m.Source = xml.readElementText();
                } else if (xml.name() == QLatin1String("translation")) {
                    m.Finished = xml.attributes().value(QLatin1String("type")).isEmpty();
                    m.Translation = xml.readElementText();
                } else {
                    xml.skipCurrentElement();
                }
            }
            messages << m;
        }
    }
    return messages;
}

// The placeholders a text is formatted with (Qt's %1, printf's, fmt's {}),
// sorted: a translation may move them, never lose or add one.
QStringList placeholders(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral(R"(%[0-9]|%[-.0-9]*[sdufx]|\{[0-9]?\})"));
    QStringList found;
    for (const auto& match : pattern.globalMatch(text)) {
        QString p = match.captured();
        // {0} and {} are the same field to fmt.
        found << (p.startsWith(QLatin1Char('{')) ? QStringLiteral("{}") : p);
    }
    found.sort();
    return found;
}

int mnemonics(const QString& text) {
    return static_cast<int>(text.count(QLatin1Char('&')) - 2 * text.count(QLatin1String("&&")));
}

} // namespace

class TranslationsTest : public QObject {
    Q_OBJECT

private slots:
    void everyTextIsTranslatedWithItsPlaceholders() {
        const QDir folder(QStringLiteral(TAVRIN_SOURCE_DIR "/translations"));
        const QStringList files = folder.entryList({QStringLiteral("*.ts")});
        QVERIFY(!files.isEmpty());
        QTemporaryDir scratch;
        for (const QString& name : files) {
            // lupdate over the sources, into a copy: a text added to the
            // code and not yet to the .ts arrives there unfinished.
            const QString copy = scratch.filePath(name);
            QVERIFY(QFile::copy(folder.filePath(name), copy));
            const TTestRun lupdate = RunProgram(
                QStringLiteral(TAVRIN_LUPDATE),
                {QStringLiteral("-silent"), QStringLiteral("-locations"), QStringLiteral("none"),
                 QStringLiteral("-no-obsolete"), QStringLiteral("-tr-function-alias"),
                 QStringLiteral("translate+=SbTranslate,QT_TRANSLATE_NOOP+="
                                "SB_TRANSLATE_NOOP"),
                 QStringLiteral("-extensions"), QStringLiteral("cpp,h"), QStringLiteral("base"),
                 QStringLiteral("engine"), QStringLiteral("devices"), QStringLiteral("forms"),
                 QStringLiteral("ui"), QStringLiteral("pages"), QStringLiteral("app"),
                 QStringLiteral("cli"), QStringLiteral("-ts"), copy},
                QStringLiteral(TAVRIN_SOURCE_DIR));
            QVERIFY2(lupdate.ExitCode == 0, lupdate.Output.constData());
            const QList<TMessage> messages = readTs(copy);
            QVERIFY(messages.size() > 200);
            QStringList faults;
            for (const TMessage& m : messages) {
                const QString where =
                    name + QLatin1Char(' ') + m.Context + QStringLiteral(": ") + m.Source.left(50);
                if (!m.Finished || m.Translation.isEmpty()) {
                    faults << where + QStringLiteral(" (not translated; run the tavrin_lupdate "
                                                     "target and translate it)");
                } else if (placeholders(m.Source) != placeholders(m.Translation)) {
                    faults << where + QStringLiteral(" (placeholders)");
                } else if (mnemonics(m.Source) != mnemonics(m.Translation)) {
                    faults << where + QStringLiteral(" (mnemonic)");
                }
            }
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
        }
    }

    void bothProgramsReadTheSameGerman() {
        // tavrin-burn's way: the catalog, no Qt.
        QFile catalog(QStringLiteral(TAVRIN_BIN_DIR "/translations/tavrin-burn_de.cat"));
        QVERIFY(catalog.open(QIODevice::ReadOnly));
        QVERIFY(SetTranslationCatalog(catalog.readAll().toStdString()));
        QCOMPARE(LoadResString(rsCancelButton), std::string("Abbrechen"));
        QCOMPARE(SbTranslate("tavrin-burn", "Disc verified"), std::string("Datenträger überprüft"));
        QCOMPARE(SbTranslate("tavrin-burn", "not in the catalog"),
                 std::string("not in the catalog"));
        QVERIFY(!SetTranslationCatalog("no catalog"));
        QCOMPARE(LoadResString(rsCancelButton), std::string("Cancel"));

        // The wizard's way: Qt's translator, which the message table follows too.
        SetApplicationFolder(QStringLiteral(TAVRIN_BIN_DIR));
        ::setenv("LANGUAGE", "fr:de_AT", 1);
        QCOMPARE(InstallTranslations(), QStringLiteral("de"));
        QCOMPARE(ResText(rsNextButton), QStringLiteral("&Weiter >"));
        QCOMPARE(QCoreApplication::translate("TfrmSelectDevice", "In use"),
                 QStringLiteral("Belegt"));
        // C is English whatever LANGUAGE said before.
        ::setenv("LANGUAGE", "", 1);
        ::setenv("LC_ALL", "C", 1);
        QCOMPARE(InstallTranslations(), QString());
        QCOMPARE(ResText(rsNextButton), QStringLiteral("&Next >"));
        ::unsetenv("LC_ALL");
        SetApplicationFolder(QString());
    }
};

QTEST_GUILESS_MAIN(TranslationsTest)
#include "translations_test.moc"
