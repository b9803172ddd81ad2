// The date-time value of the data files, its text form, and the wrapping tick counter.

#include "core/date_time.h"

#include <QtTest>

namespace {
quint32 g_tick = 0;
quint32 tickFixe() {
    return g_tick;
}
} // namespace

class TstDateHeure : public QObject {
    Q_OBJECT
private slots:
    void encodage_data();
    void encodage();
    void allerRetour();
    void heureLocale();
    void valeursInvalides();
    void jours();
    void lectureDates_data();
    void lectureDates();
    void maintenant();
    void tickQuiBoucle_data();
    void tickQuiBoucle();
    void sourceRemplacable();
};

void TstDateHeure::encodage_data() {
    QTest::addColumn<QDateTime>("date");
    QTest::addColumn<double>("valeur");
    QTest::newRow("origin") << QDateTime(QDate(1899, 12, 30), QTime(0, 0)) << 0.0;
    QTest::newRow("day after") << QDateTime(QDate(1899, 12, 31), QTime(0, 0)) << 1.0;
    QTest::newRow("noon") << QDateTime(QDate(1899, 12, 30), QTime(12, 0)) << 0.5;
    QTest::newRow("2000-01-01 06:00") << QDateTime(QDate(2000, 1, 1), QTime(6, 0)) << 36526.25;
    QTest::newRow("day before origin") << QDateTime(QDate(1899, 12, 29), QTime(0, 0)) << -1.0;
}

void TstDateHeure::encodage() {
    QFETCH(QDateTime, date);
    QFETCH(double, valeur);
    QCOMPARE(datetime::depuisQDateTime(date), valeur);
    QCOMPARE(datetime::versQDateTime(valeur), date);
    const QDate d = date.date();
    const QTime t = date.time();
    QCOMPARE(datetime::encoder(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()),
             valeur);
    QCOMPARE(datetime::jour(valeur), int(valeur));
}

void TstDateHeure::allerRetour() {
    // Millisecond precision survives the double, across a wide range of dates.
    for (const QDateTime& dt : {QDateTime(QDate(1970, 1, 1), QTime(0, 0, 0, 1)),
                                QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59, 999)),
                                QDateTime(QDate(2099, 12, 31), QTime(13, 14, 15, 16))}) {
        QCOMPARE(datetime::versQDateTime(datetime::depuisQDateTime(dt)), dt);
    }
    QCOMPARE(datetime::formaterDate(datetime::encoder(2024, 3, 5, 14, 7, 9)),
             QByteArray("05/03/2024 14:07:09"));
}

void TstDateHeure::heureLocale() {
    // A UTC instant is stored as the local wall-clock time.
    const QDateTime utc(QDate(2021, 6, 15), QTime(10, 30), Qt::UTC);
    const QDateTime local = utc.toLocalTime();
    QCOMPARE(datetime::versQDateTime(datetime::depuisQDateTime(utc)), local);
    QCOMPARE(datetime::versQDateTime(datetime::depuisQDateTime(utc)).timeSpec(), Qt::LocalTime);
}

void TstDateHeure::valeursInvalides() {
    QVERIFY(!datetime::versQDateTime(std::numeric_limits<double>::quiet_NaN()).isValid());
    QVERIFY(!datetime::versQDateTime(std::numeric_limits<double>::infinity()).isValid());
    QVERIFY(!datetime::versQDateTime(1e300).isValid());
    QVERIFY(datetime::formaterDate(std::numeric_limits<double>::quiet_NaN()).isEmpty());
    QVERIFY(datetime::formaterDate(1e300).isEmpty());
    // A fraction that rounds up to midnight moves to the next day.
    QCOMPARE(datetime::versQDateTime(0.9999999999), QDateTime(QDate(1899, 12, 31), QTime(0, 0)));
    QVERIFY(!datetime::versDate(std::numeric_limits<double>::quiet_NaN()).isValid());
}

void TstDateHeure::jours() {
    // A day is its midnight, and every moment of it belongs to it, before the
    // origin too.
    QCOMPARE(datetime::depuisDate(QDate(2026, 12, 10)), datetime::encoder(2026, 12, 10));
    QCOMPARE(datetime::versDate(datetime::encoder(2026, 12, 10, 23, 59, 59)), QDate(2026, 12, 10));
    QCOMPARE(datetime::versDate(datetime::depuisDate(QDate(2024, 2, 29))), QDate(2024, 2, 29));
    QCOMPARE(datetime::versDate(-0.25), QDate(1899, 12, 29));
}

void TstDateHeure::lectureDates_data() {
    QTest::addColumn<QByteArray>("texte");
    QTest::addColumn<QByteArray>("attendu"); // yyyy-MM-dd HH:mm:ss, or "0"
    // Data files write the first format; older ones hold the others.
    QTest::newRow("written format")
        << QByteArray("05/03/2024 14:07:09") << QByteArray("2024-03-05 14:07:09");
    QTest::newRow("two-digit year")
        << QByteArray("05/03/24 14:07:09") << QByteArray("2024-03-05 14:07:09");
    QTest::newRow("two-digit year old")
        << QByteArray("31/12/99 23:59:59") << QByteArray("1999-12-31 23:59:59");
    QTest::newRow("without seconds")
        << QByteArray("5/3/2024 4:07") << QByteArray("2024-03-05 04:07:00");
    QTest::newRow("date only") << QByteArray("05/03/2024") << QByteArray("2024-03-05 00:00:00");
    QTest::newRow("iso") << QByteArray("2024-03-05 14:07:09") << QByteArray("2024-03-05 14:07:09");
    QTest::newRow("trailing blanks")
        << QByteArray("05/03/2024 14:07:09  ") << QByteArray("2024-03-05 14:07:09");
    QTest::newRow("zero") << QByteArray("0") << QByteArray("0");
    QTest::newRow("empty") << QByteArray() << QByteArray("0");
    QTest::newRow("month 13") << QByteArray("05/13/2024 10:00:00") << QByteArray("0");
    QTest::newRow("hour 25") << QByteArray("05/03/2024 25:00:00") << QByteArray("0");
    QTest::newRow("us text") << QByteArray("Mar 5 2024") << QByteArray("0");
    QTest::newRow("three-digit year") << QByteArray("05/03/202") << QByteArray("0");
    QTest::newRow("huge numbers") << QByteArray("99999999/3/2024") << QByteArray("0");
}

void TstDateHeure::lectureDates() {
    QFETCH(QByteArray, texte);
    QFETCH(QByteArray, attendu);
    const TDateTime d = datetime::lireDate(texte);
    const QByteArray obtenu =
        d == 0
            ? QByteArray("0")
            : datetime::versQDateTime(d).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
    QCOMPARE(obtenu, attendu);
    if (d != 0) QCOMPARE(datetime::lireDate(datetime::formaterDate(d)), d);
}

void TstDateHeure::maintenant() {
    const double avant = datetime::depuisQDateTime(QDateTime::currentDateTime());
    const double v = datetime::maintenant();
    QVERIFY(v >= avant);
    QVERIFY(v - avant < 1.0 / 24);
}

void TstDateHeure::tickQuiBoucle_data() {
    QTest::addColumn<quint32>("depuis");
    QTest::addColumn<quint32>("maintenant");
    QTest::addColumn<quint32>("ecoule");
    QTest::newRow("plain") << 1000u << 6000u << 5000u;
    QTest::newRow("across the wrap") << 0xFFFFF000u << 0x00000388u << 0x1388u;
    QTest::newRow("just wrapped") << 0xFFFFFFFFu << 0u << 1u;
    QTest::newRow("none") << 42u << 42u << 0u;
}

void TstDateHeure::tickQuiBoucle() {
    QFETCH(quint32, depuis);
    QFETCH(quint32, maintenant);
    QFETCH(quint32, ecoule);
    QCOMPARE(tick::ecoule(depuis, maintenant), ecoule);
    // A 5 s time-out started just before the wrap is not yet due 0x388 ms after it.
    QCOMPARE(tick::ecoule(depuis, maintenant) >= 5000u, ecoule >= 5000u);
}

void TstDateHeure::sourceRemplacable() {
    g_tick = 0xFFFFFFF0u;
    tick::remplacerSource(&tickFixe);
    const quint32 debut = tick::GetTickCount();
    g_tick += 0x20;
    QCOMPARE(tick::ecoule(debut, tick::GetTickCount()), 0x20u);
    tick::remplacerSource(nullptr);
    const quint32 a = tick::GetTickCount();
    QTest::qSleep(20);
    QVERIFY(tick::ecoule(a, tick::GetTickCount()) >= 15u);
}

QTEST_GUILESS_MAIN(TstDateHeure)
#include "tst_date_heure.moc"
