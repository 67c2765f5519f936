#include "Form2.h"
#include "ProxyTable.h"
#include "RecordingPrompter.h"
#include "SaveFilePrompter.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

// The test answers the save window's file question itself, and keeps the questions.
class TstForm2 final : public QObject, public SaveFilePrompter
{
    Q_OBJECT

public:
    std::optional<QString> askSaveFileName(const SaveFileRequest& request) override
    {
        m_requests.append(request);
        return m_answer;
    }

private Q_SLOTS:
    void savesOnlyWhenAFileIsChosen_data();
    void savesOnlyWhenAFileIsChosen();

private:
    std::optional<QString> m_answer;
    QList<SaveFileRequest> m_requests;
};

void TstForm2::savesOnlyWhenAFileIsChosen_data()
{
    QTest::addColumn<QString>("separator"); // none: all data
    QTest::addColumn<QString>("action"); // a button, or Return or Escape in the separator box
    QTest::addColumn<QString>("answer"); // in the test's folder; none: the dialog is dismissed
    QTest::addColumn<int>("sizeLimit"); // of any file this process writes, when above 0
    QTest::addColumn<QByteArray>("appended"); // after the file's earlier line
    QTest::addColumn<QString>("outcome"); // questions to append in the program folder, the window, why
    const QString ok = u"Command1"_s;
    const QString list = u"list.txt"_s;
    QTest::newRow("separator as typed") << u" -> "_s << ok << list << 0 << "10.0.0.1 -> 8080\r\n10.0.0.2 -> 3128\r\n"_ba
                                        << u"1 closed"_s;
    QTest::newRow("all data, UTF-8 without a byte-order mark")
        << QString() << ok << list << 0
        << "10.0.0.1\t8080\tHTTP\tCura\xc3\xa7"
           "ao\ttoday\r\n10.0.0.2\t3128\t\tJapan\t\xe5\xb9\xb4\r\n"_ba
        << u"1 closed, no separator"_s;
    QTest::newRow("Enter does not save") << u":"_s << u"Return"_s << list << 0 << ""_ba << u"0 open"_s;
    QTest::newRow("Esc does not close") << u":"_s << u"Escape"_s << list << 0 << ""_ba << u"0 open"_s;
    QTest::newRow("file dialog dismissed") << u":"_s << ok << QString() << 0 << ""_ba << u"1 open"_s;
    QTest::newRow("folder chosen as the file") << u":"_s << ok << u"."_s << 0 << ""_ba << u"1 open Is a directory"_s;
    QTest::newRow("half-written list taken back")
        << QString() << ok << list << 20 << ""_ba << u"1 open, no separator File too large"_s;
}

void TstForm2::savesOnlyWhenAFileIsChosen()
{
    QFETCH(QString, separator);
    QFETCH(QString, action);
    QFETCH(QString, answer);
    QFETCH(int, sizeLimit);
    QFETCH(QByteArray, appended);
    QFETCH(QString, outcome);
    QTemporaryDir dir;
    QFile list(dir.filePath(u"list.txt"_s));
    QVERIFY(list.open(QIODevice::ReadWrite) && list.write("earlier\r\n") == 9 && list.flush());
    m_answer = answer.isEmpty() ? std::nullopt : std::optional(QDir::cleanPath(dir.filePath(answer)));
    m_requests.clear();
    ProxyTable table;
    table.append({u"10.0.0.1"_s, u"8080"_s, u"HTTP"_s, u"Curaçao"_s, u"today"_s});
    table.append({u"10.0.0.2"_s, u"3128"_s, QString(), u"Japan"_s, u"年"_s});
    RecordingPrompter messages;
    Form2 form(table, *this, messages, dir.path());
    form.show();

    auto* separatorBox = form.findChild<QLineEdit*>(u"Text1"_s);
    separatorBox->clear();
    QTest::keyClicks(separatorBox, separator);
    auto* allDataBox = form.findChild<QCheckBox*>(u"Check1"_s);
    if (separator.isNull()) // on the box itself: the middle of the control may lie past the end of its caption
        QTest::mouseClick(allDataBox, Qt::LeftButton, {}, QPoint(6, allDataBox->height() / 2));
    std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead of ending the process
    rlimit unlimited{};
    getrlimit(RLIMIT_FSIZE, &unlimited);
    const rlimit limited{rlim_t(sizeLimit), unlimited.rlim_max};
    QVERIFY(sizeLimit == 0 || setrlimit(RLIMIT_FSIZE, &limited) == 0);
    if (action == u"Return"_s || action == u"Escape"_s)
        QTest::keyClick(separatorBox, action == u"Return"_s ? Qt::Key_Return : Qt::Key_Escape);
    else
        QTest::mouseClick(form.findChild<QPushButton*>(action), Qt::LeftButton);
    setrlimit(RLIMIT_FSIZE, &unlimited);

    QVERIFY(list.seek(0));
    QCOMPARE(list.readAll(), "earlier\r\n"_ba + appended);
    QString seen = QString::number(std::ranges::count_if(m_requests, [&dir](const SaveFileRequest& asked) {
        return asked.existing == SaveFileRequest::Appends && asked.folder == dir.path();
    }));
    seen += (form.isVisible() ? u" open"_s : u" closed"_s) + (separatorBox->isEnabled() ? u""_s : u", no separator"_s);
    for (const RecordingPrompter::Message& told : messages.messages) // names the file, and says why
        seen += u' '
            + (told.text.contains(u'"' + *m_answer + u'"') && told.style == MessageStyle::Stop
                   ? told.text.section(u": "_s, -1)
                   : told.text);
    QCOMPARE(seen, outcome);
}

QTEST_MAIN(TstForm2)
#include "tst_form2.moc"
