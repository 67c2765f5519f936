#include "AnsweringFilePrompter.h"
#include "Form2.h"
#include "MessagePrompter.h"
#include "ProxyTable.h"
#include "RecordingPrompter.h"
#include "Twips.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// The save window shown over a two-row table, its file question and its messages answered here.
struct SaveWindow
{
    SaveWindow(const QString& programFolder, std::optional<QString> answer)
        : files(std::move(answer))
        , form(table, files, messages, programFolder)
    {
        table.append({u"10.0.0.1"_s, u"8080"_s, u"HTTP"_s, u"Italy"_s, u"today"_s});
        table.append({u"10.0.0.2"_s, u"3128"_s, QString(), u"Japan"_s, u"now"_s});
        form.show();
    }

    QLineEdit* separator() { return form.findChild<QLineEdit*>(u"Text1"_s); }
    QCheckBox* allData() { return form.findChild<QCheckBox*>(u"Check1"_s); }
    void click(const QString& button) { QTest::mouseClick(form.findChild<QPushButton*>(button), Qt::LeftButton); }
    // On the box itself: the middle of the control may lie past the end of its caption.
    void toggleAllData() { QTest::mouseClick(allData(), Qt::LeftButton, {}, QPoint(6, allData()->height() / 2)); }
    void typeSeparator(const QString& text)
    {
        separator()->clear();
        QTest::keyClicks(separator(), text);
    }

    ProxyTable table;
    AnsweringFilePrompter files;
    RecordingPrompter messages;
    Form2 form;
};

} // namespace

class TstForm2 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void everyShowingOpensReadyForTheAddressFormat();
    void checkBoxDisablesTheSeparatorBox();
    void savesInTheChosenFormatAndCloses_data();
    void savesInTheChosenFormatAndCloses();
    void failedSaveNamesTheFileAndStaysOpen();
    void writesNothingUnlessAFileIsChosen_data();
    void writesNothingUnlessAFileIsChosen();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_listFile;
};

void TstForm2::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_listFile = m_dir->filePath(u"list.txt"_s);
}

void TstForm2::everyShowingOpensReadyForTheAddressFormat()
{
    SaveWindow window(m_dir->path(), m_listFile);
    QCOMPARE(window.form.windowTitle(), u"Save Proxy List..."_s);
    QCOMPARE(window.form.minimumSize(), window.form.maximumSize());
    QCOMPARE(window.separator()->text(), u":"_s);
    QVERIFY(window.separator()->isEnabled());
    QVERIFY(!window.allData()->isChecked());
}

void TstForm2::checkBoxDisablesTheSeparatorBox()
{
    SaveWindow window(m_dir->path(), m_listFile);
    window.typeSeparator(u" ; "_s);

    window.toggleAllData();
    QVERIFY(window.allData()->isChecked());
    QVERIFY(!window.separator()->isEnabled());

    window.toggleAllData();
    QVERIFY(!window.allData()->isChecked());
    QVERIFY(window.separator()->isEnabled());
    QCOMPARE(window.separator()->text(), u" ; "_s);
}

void TstForm2::savesInTheChosenFormatAndCloses_data()
{
    QTest::addColumn<QString>("separator");
    QTest::addColumn<bool>("allData");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("separator as typed") << u" -> "_s << false << "10.0.0.1 -> 8080\r\n10.0.0.2 -> 3128\r\n"_ba;
    QTest::newRow("all data") << u" -> "_s << true
                              << "10.0.0.1\t8080\tHTTP\tItaly\ttoday\r\n10.0.0.2\t3128\t\tJapan\tnow\r\n"_ba;
}

void TstForm2::savesInTheChosenFormatAndCloses()
{
    QFETCH(QString, separator);
    QFETCH(bool, allData);
    QFETCH(QByteArray, expected);
    SaveWindow window(m_dir->path(), m_listFile);
    window.typeSeparator(separator);
    if (allData)
        window.toggleAllData();

    window.click(u"Command1"_s);

    QCOMPARE(window.files.requests.size(), 1);
    const SaveFileRequest& asked = window.files.requests.first();
    QCOMPARE(asked.title, u"Save Proxy List As..."_s);
    QCOMPARE(asked.filter, u"Text Files (*.txt)"_s);
    QCOMPARE(asked.folder, m_dir->path());
    QCOMPARE(asked.fileName, u"results.txt"_s);
    QCOMPARE(asked.existing, SaveFileRequest::Appends); // so nobody asks whether to replace it
    QCOMPARE(ReadAll(m_listFile), expected);
    QVERIFY(window.messages.messages.isEmpty());
    QVERIFY(!window.form.isVisible());
    QCOMPARE(window.form.result(), int(QDialog::Accepted));
}

void TstForm2::failedSaveNamesTheFileAndStaysOpen()
{
    const QString folderChosenAsFile = m_dir->path();
    SaveWindow window(m_dir->path(), folderChosenAsFile);

    window.click(u"Command1"_s);

    QCOMPARE(window.messages.messages.size(), 1);
    const RecordingPrompter::Message& told = window.messages.messages.first();
    QCOMPARE(told.style, MessageStyle::Stop);
    QCOMPARE(told.title, MessagePrompter::defaultTitle());
    QVERIFY2(told.text.contains(folderChosenAsFile), qPrintable(told.text));
    QVERIFY2(told.text.contains(u"Is a directory"_s), qPrintable(told.text));
    QVERIFY(window.form.isVisible());
}

void TstForm2::writesNothingUnlessAFileIsChosen_data()
{
    QTest::addColumn<QString>("action"); // a button, or Return or Escape in the separator box
    QTest::addColumn<bool>("dialogDismissed");
    QTest::addColumn<int>("questions");
    QTest::addColumn<bool>("staysOpen");
    QTest::newRow("Enter does not save") << u"Return"_s << false << 0 << true;
    QTest::newRow("Esc does not close") << u"Escape"_s << false << 0 << true;
    QTest::newRow("Cancel closes without asking") << u"Command2"_s << false << 0 << false;
    QTest::newRow("file dialog dismissed") << u"Command1"_s << true << 1 << true;
}

void TstForm2::writesNothingUnlessAFileIsChosen()
{
    QFETCH(QString, action);
    QFETCH(bool, dialogDismissed);
    QFETCH(int, questions);
    QFETCH(bool, staysOpen);
    SaveWindow window(m_dir->path(), dialogDismissed ? std::nullopt : std::optional(m_listFile));

    if (action == u"Return"_s || action == u"Escape"_s) {
        window.separator()->setFocus();
        QTest::keyClick(window.separator(), action == u"Return"_s ? Qt::Key_Return : Qt::Key_Escape);
    } else {
        window.click(action);
    }

    QCOMPARE(window.files.requests.size(), questions);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList());
    QVERIFY(window.messages.messages.isEmpty());
    QCOMPARE(window.form.isVisible(), staysOpen);
    QCOMPARE(window.form.result(), int(QDialog::Rejected));
}

QTEST_MAIN(TstForm2)
#include "tst_form2.moc"
