#include "TestSupport.h"

#include "CatalogueTool.h"
#include "Csv.h"
#include "ProfileStore.h"
#include "SettingsKeys.h"
#include "SqliteConnection.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QTextStream>

using namespace Qt::StringLiterals;

TempSettings::TempSettings()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
}

QString TempSettings::file() const
{
    return m_dir.filePath(SettingsKeys::organisation + u'/' + SettingsKeys::application + u".conf"_s);
}

bool ScriptedDialogs::askYesNo(const QString& text, const QString& title, Icon icon, Answer byDefault)
{
    shown.append({text, title, icon, byDefault});
    if (whileAsking)
        whileAsking();
    return !m_answers.isEmpty() && m_answers.dequeue();
}

bool ScriptedDialogs::confirm(const QString& text, const QString& title, const QString& action)
{
    shown.append({text, title, Icon::Question, Answer::No, action});
    if (whileAsking)
        whileAsking();
    return !m_answers.isEmpty() && m_answers.dequeue();
}

QString ScriptedDialogs::inputText(const QString& prompt, const QString& title)
{
    shown.append({prompt, title, Icon::None});
    return m_inputs.isEmpty() ? QString() : m_inputs.dequeue();
}

PromoSite TestData::site(const QString& name, const QString& type, const QString& action)
{
    return PromoSite{name, type, u"url=[url]&email=[email]"_s, u"GET"_s, action};
}

void TestData::writeSql(const QString& path, const QStringList& statements)
{
    SqliteConnection connection(path, SqliteConnection::Mode::ReadWrite);
    QString error;
    QVERIFY2(connection.open(error), qPrintable(error));
    QSqlQuery query(connection.database());
    for (const QString& statement : statements)
        QVERIFY2(query.exec(statement), qPrintable(statement + u": "_s + query.lastError().text()));
}

void TestData::writeCatalogue(const QString& path, const QList<PromoSite>& rows)
{
    QFile::remove(path);
    // The optional columns only where a row uses them, as an older catalogue has none.
    const bool optional = std::any_of(rows.cbegin(), rows.cend(), [](const PromoSite& row) {
        return !row.encoding.isEmpty() || !row.accept.isEmpty() || !row.reject.isEmpty();
    });
    QStringList statements = {
        u"CREATE TABLE promosites(sitename TEXT NOT NULL UNIQUE, sitetype TEXT, "
        u"data TEXT NOT NULL, method TEXT NOT NULL, action TEXT NOT NULL, referer TEXT%1)"_s.arg(
            optional ? u", encoding TEXT, accept TEXT, reject TEXT"_s : QString())};
    const auto quoted = [](const QString& value) {
        return value.isNull() ? u"NULL"_s : u'\'' + QString(value).replace(u'\'', u"''"_s) + u'\'';
    };
    for (const PromoSite& row : rows) {
        statements << u"INSERT INTO promosites VALUES (%1, %2, %3, %4, %5, NULL%6)"_s.arg(
            quoted(row.sitename), quoted(row.sitetype), quoted(row.data), quoted(row.method),
            quoted(row.action),
            optional ? u", %1, %2, %3"_s.arg(quoted(row.encoding), quoted(row.accept), quoted(row.reject))
                     : QString());
    }
    writeSql(path, statements);
}

QList<PromoSite> TestData::bundledSites()
{
    Csv::Table table;
    QString error;
    if (!Csv::parse(QString::fromUtf8(readFile(QStringLiteral(ORVANTA_SOURCE_DIR "/data/catalogue.csv"))),
                    table, error))
        qFatal("The bundled catalogue cannot be read: %s", qPrintable(error));
    QList<PromoSite> sites;
    for (const Csv::Record& record : std::as_const(table.records)) {
        const auto column = [&](const QString& name) {
            return record.fields.value(table.header.indexOf(name)).value_or(QString());
        };
        sites << PromoSite{column(u"sitename"_s), column(u"sitetype"_s), column(u"data"_s),
                           column(u"method"_s),   column(u"action"_s),   column(u"encoding"_s),
                           column(u"accept"_s),   column(u"reject"_s)};
    }
    return sites;
}

void TestData::storeCompleteProfile(SettingsStore& settings, int slot, const QString& title)
{
    ProfileStore store(settings);
    QVERIFY(store.create(slot, title));
    Profile profile;
    for (int i = 0; i < profileFieldCount; ++i)
        profile.fields[size_t(i)] = Profile::key(ProfileField(i)) + u" value"_s;
    QVERIFY(store.save(slot, profile));
}

QByteArray TestData::readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

ScheduleStandIns::ScheduleStandIns(bool analyzer)
{
    add(u"systemctl"_s,
        u"[ -z \"$SYSTEMCTL_FAILS\" ] || { echo 'Failed to connect to bus: No medium found' >&2; exit 1; }\n"_s);
    add(u"crontab"_s,
        u"if [ \"$1\" != -l ]; then /bin/cat > '%1'; elif [ -f '%1' ]; then /bin/cat '%1'; else echo \"no "
        u"crontab for $USER\" >&2; exit 1; fi\n"_s.arg(crontabFile()));
    if (analyzer)
        add(u"systemd-analyze"_s,
            u"[ \"$4\" = never ] && { echo \"Failed to parse calendar 'never': Invalid argument\" >&2; exit "
            u"1; }\n"
            u"printf '  Original form: %s\\nNormalized form: Mon *-*-* 06:00:00\\n    Next elapse: Mon "
            u"2030-01-07 06:00:00 UTC\\n       From now: 3 years left\\n       Iter. #2: Mon 2030-01-14 "
            u"06:00:00 UTC\\n' \"$4\"\n"_s);
}

QString ScheduleStandIns::calls() const
{
    return QString::fromUtf8(TestData::readFile(m_dir.filePath(u"calls"_s)));
}

void ScheduleStandIns::add(const QString& name, const QString& body)
{
    TestData::writeFile(
        m_dir.filePath(name),
        (u"#!/bin/sh\necho \"" + name + u" $*\" >> '" + m_dir.filePath(u"calls"_s) + u"'\n" + body).toUtf8());
    QVERIFY(QFile::setPermissions(m_dir.filePath(name), QFile::ReadOwner | QFile::ExeOwner));
}

void TestData::writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

TestData::ToolRun TestData::runCatalogueTool(const QStringList& arguments)
{
    ToolRun run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.status = CatalogueTool::run(arguments, out, err);
    out.flush();
    err.flush();
    return run;
}
