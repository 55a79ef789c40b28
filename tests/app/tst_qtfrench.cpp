#include "app/QtFrench.h"
#include "support/TestEnv.h"

#include <QLibraryInfo>
#include <QTemporaryDir>

// Qt's own dialogs speak French once the program installs Qt's catalogue.
class TestQtFrench : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fileDialogTexts_data()
    {
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("french");
        QTest::newRow("file name field") << "QFileDialog" << "File &name:" << "&Nom de fichier :";
        QTest::newRow("save button") << "QPlatformTheme" << "Save" << "Enregistrer";
    }

    void fileDialogTexts()
    {
        QFETCH(QString, context);
        QFETCH(QString, source);
        QFETCH(QString, french);
        static const bool installed = QtFrench::install(QCoreApplication::instance());
        QVERIFY2(installed, "qt6-translations-l10n is not installed");
        QCOMPARE(QCoreApplication::translate(context.toLatin1().constData(), source.toLatin1().constData()), french);
    }

    // Without the catalogue nothing is installed, and the program runs on.
    void missingCatalogue()
    {
        QTemporaryDir empty;
        QVERIFY(!QtFrench::install(QCoreApplication::instance(), empty.path()));
    }
};

OMBRY_TEST_MAIN(TestQtFrench)
#include "tst_qtfrench.moc"
