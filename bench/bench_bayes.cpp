// Bayesian filter figures: scoring time per message against a base trained on
// the public corpus, load and save of a base of one million tokens beside raw
// file I/O of the same size, that base's memory, and bogofilter on the same
// corpus as the reference.
#ifndef KELVARIN_SOURCE_DIR
#define KELVARIN_SOURCE_DIR "." // without the test support: run from the source tree
#endif
#include "bayes/filtre_bayes.h"
#include "mime/mon_mime_decode.h"
#include "tests/bayes/bayes_test_util.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace bayestest;

namespace {

double ms(qint64 ns) {
    return ns / 1e6;
}

struct TStats {
    double mediane = 0, p99 = 0, moyenne = 0;
};

TStats stats(std::vector<qint64> ns) {
    TStats s;
    if (ns.empty()) return s;
    std::sort(ns.begin(), ns.end());
    s.mediane = ms(ns[ns.size() / 2]);
    s.p99 = ms(ns[std::min(ns.size() - 1, ns.size() * 99 / 100)]);
    double t = 0;
    for (qint64 v : ns)
        t += v;
    s.moyenne = ms(static_cast<qint64>(t / ns.size()));
    return s;
}

// Heap in use, large blocks served by mmap included (glibc leaves them out of uordblks).
qint64 tasOctets() {
    const struct mallinfo2 m = mallinfo2();
    return static_cast<qint64>(m.uordblks + m.hblkhd);
}

qint64 rssOctets() {
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> p = f.readAll().split(' ');
    return p.size() > 1 ? p[1].toLongLong() * sysconf(_SC_PAGESIZE) : 0;
}

// Processor time (user and system) in ns, beside the wall clock: on a shared
// machine the process waits for a core, and the wall clock counts the wait.
qint64 processeur() {
    struct rusage r;
    ::getrusage(RUSAGE_SELF, &r);
    return (qint64(r.ru_utime.tv_sec) + r.ru_stime.tv_sec) * 1000000000 +
           (qint64(r.ru_utime.tv_usec) + r.ru_stime.tv_usec) * 1000;
}

// Runs bogofilter with the file names on standard input; returns its output.
QByteArray bogofilter(const QStringList& args, const QStringList& fichiers, qint64* ns) {
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("bogofilter"), args);
    if (!p.waitForStarted()) return "<bogofilter introuvable>";
    p.write(fichiers.join(QLatin1Char('\n')).toLocal8Bit() + '\n');
    p.closeWriteChannel();
    p.waitForFinished(-1);
    if (ns) *ns = t.nsecsElapsed();
    return p.readAllStandardOutput();
}

void corpus(const QString& dossier) {
    const QList<TMessageCorpus> messages = lireCorpus(dossier);
    std::printf("corpus: %lld messages\n", static_cast<long long>(messages.size()));
    QTemporaryDir rep;
    TEncodageDecodage encodage;
    encodage.ChargerCharsets(QStringLiteral(KELVARIN_SOURCE_DIR "/data/Encodage/"));
    TMonMimeDecode decodeur;
    decodeur.setEncodageDecodage(&encodage);
    decodeur.setRepDestination(rep.filePath(QStringLiteral("tmp")));
    TFiltreBayes filtre(rep.path());
    filtre.Base().Temporaire = true;

    QElapsedTimer t;
    t.start();
    for (const auto& m : messages)
        filtre.AppliquerBayes(filtre.DocReception, decodeur, true, true, m.octets,
                              m.groupe.startsWith(u"spam"));
    const qint64 nsApprendre = t.nsecsElapsed();
    std::printf("training: %.0f ms in all, %.3f ms per message, base of %d tokens\n",
                ms(nsApprendre), ms(nsApprendre) / messages.size(), filtre.Base().NbMots());

    TStats parMode[2];
    for (int i = 0; i < 2; ++i) {
        filtre.ReglerModeBayes(i == 0 ? 5 : 11);
        std::vector<qint64> ns;
        ns.reserve(static_cast<size_t>(messages.size()));
        int fp = 0, fn = 0;
        for (const auto& m : messages) {
            double bon = 0, spam = 0;
            t.restart();
            const bool estSpam = filtre.ScoreBayes(decodeur, m.octets, -1, bon, spam);
            ns.push_back(t.nsecsElapsed());
            const bool vraiSpam = m.groupe.startsWith(u"spam");
            fp += estSpam && !vraiSpam;
            fn += !estSpam && vraiSpam;
        }
        parMode[i] = stats(ns);
        // Judged on the mail it learned: a speed run, not a measure of accuracy
        // (bench_precision judges mail it did not learn).
        std::printf("ScoreBayes mode %d: median %.3f ms, p99 %.3f ms, mean %.3f ms; "
                    "on the learned corpus %d good judged spam, %d spam judged good\n",
                    i == 0 ? 5 : 11, parMode[i].mediane, parMode[i].p99, parMode[i].moyenne, fp,
                    fn);
    }

    // bogofilter on the same files, in a word list directory of its own.
    QStringList spam, bon, tous;
    for (const QString& groupe :
         {u"easy-ham-1"_qs, u"easy-ham-2"_qs, u"hard-ham-1"_qs, u"spam-1"_qs, u"spam-2"_qs}) {
        const QDir d(QDir(dossier).filePath(groupe));
        for (const QString& nom : d.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name)) {
            (groupe.startsWith(u"spam") ? spam : bon) << d.filePath(nom);
            tous << d.filePath(nom);
        }
    }
    QTemporaryDir repBogo;
    const QString dirBogo = repBogo.path();
    qint64 nsS = 0, nsN = 0, nsC = 0;
    bogofilter({QStringLiteral("-d"), dirBogo, QStringLiteral("-s"), QStringLiteral("-b")}, spam,
               &nsS);
    bogofilter({QStringLiteral("-d"), dirBogo, QStringLiteral("-n"), QStringLiteral("-b")}, bon,
               &nsN);
    const QByteArray sortie = bogofilter(
        {QStringLiteral("-d"), dirBogo, QStringLiteral("-T"), QStringLiteral("-b")}, tous, &nsC);
    int bogoFp = 0, bogoFn = 0, lignes = 0;
    for (const QByteArray& l : sortie.split('\n')) {
        const QList<QByteArray> p = l.split(' ');
        if (p.size() < 2) continue;
        const bool estSpam = p[p.size() - 2] == "S";
        const bool vraiSpam = l.contains("/spam-");
        bogoFp += estSpam && !vraiSpam;
        bogoFn += !estSpam && vraiSpam;
        ++lignes;
    }
    const double bogoApprendre = (ms(nsS) + ms(nsN)) / tous.size();
    const double bogoClasser = ms(nsC) / tous.size();
    std::printf("bogofilter bulk: training %.3f ms per message, classifying %.3f ms per message "
                "(mean, one process); on the learned corpus (%d) %d good judged spam, %d spam "
                "judged good\n",
                bogoApprendre, bogoClasser, lignes, bogoFp, bogoFn);
    // One process per message, as a mail filter runs it, on a sample.
    std::vector<qint64> nsUn;
    for (int i = 0; i < tous.size(); i += 20) {
        QProcess p;
        p.setStandardInputFile(tous[i]);
        t.restart();
        p.start(QStringLiteral("bogofilter"),
                {QStringLiteral("-d"), dirBogo, QStringLiteral("-T")});
        p.waitForFinished(-1);
        nsUn.push_back(t.nsecsElapsed());
    }
    const TStats un = stats(nsUn);
    std::printf("bogofilter one process per message (%zu messages): median %.3f ms, p99 %.3f ms\n",
                nsUn.size(), un.mediane, un.p99);
    std::printf("ratios: ScoreBayes mode 5 mean / bogofilter bulk mean = %.2f; "
                "training ours / bogofilter = %.2f; median ours / bogofilter process = %.3f\n",
                parMode[0].moyenne / bogoClasser, ms(nsApprendre) / messages.size() / bogoApprendre,
                parMode[0].mediane / un.mediane);
}

void millionDeJetons() {
    QTemporaryDir rep;
    const QString chemin = rep.filePath(QStringLiteral("bayes.qdl"));
    const int n = 1000000;
    qint64 octets = 0;
    {
        TMonBayesDB base(chemin, rep.path());
        QRandomGenerator g(42);
        TBayesDoc doc(&base);
        for (int i = 0; i < n; ++i) {
            auto e = std::make_unique<TUnElement>();
            QByteArray mot = "w";
            for (quint32 v = g.generate() | 0x80000000u; v; v /= 26)
                mot += static_cast<char>('a' + v % 26);
            mot += QByteArray::number(i);
            e->Mot = mot;
            e->CoteSpam = {1 + int(g.bounded(50)), int(g.bounded(5)), int(g.bounded(40)),
                           int(g.bounded(9))};
            e->CoteBon = {int(g.bounded(300)), int(g.bounded(5)), int(g.bounded(200)),
                          int(g.bounded(20))};
            base.Inserer(std::move(e));
        }
        base.NbSpamAppris = 12345;
        base.NbBonAppris = 54321;
        base.Modifie = true;
        QElapsedTimer t;
        t.start();
        base.Elements(); // sorts the appended tokens in, as the first save after learning would
        const qint64 nsTrier = t.nsecsElapsed();
        t.restart();
        qint64 c = processeur();
        if (!base.Sauver()) std::printf("save failed\n");
        const qint64 nsSauver = t.nsecsElapsed();
        const qint64 cpuSauver = processeur() - c;
        std::printf("sorting %d freshly appended tokens: %.0f ms\n", n, ms(nsTrier));
        octets = QFileInfo(chemin).size();
        // Raw: the same number of bytes written to a temporary file, fsync'd and renamed.
        QByteArray brut(octets, 'x');
        const QString cheminBrut = rep.filePath(QStringLiteral("brut.bin"));
        t.restart();
        c = processeur();
        {
            QFile f(cheminBrut + QStringLiteral(".tmp"));
            f.open(QIODevice::WriteOnly);
            f.write(brut);
            f.flush();
            ::fsync(f.handle());
        }
        QFile::rename(cheminBrut + QStringLiteral(".tmp"), cheminBrut);
        const qint64 nsBrutEcrire = t.nsecsElapsed();
        const qint64 cpuBrutEcrire = processeur() - c;
        std::printf(
            "save of %d tokens (%.1f MB): %.0f ms; raw write+fsync+rename of the same bytes: "
            "%.0f ms; ratio %.2f\n",
            n, octets / 1e6, ms(nsSauver), ms(nsBrutEcrire), double(nsSauver) / nsBrutEcrire);
        std::printf("save processor time: %.0f ms; raw write %.0f ms (the wait for the disk is "
                    "in neither)\n",
                    ms(cpuSauver), ms(cpuBrutEcrire));
        base.Temporaire = true;
    }
    // Load and raw read alternated, medians: the machine is shared. Page faults
    // counted apart, as they weigh on a fresh base as much as the parse.
    const auto fautes = [] {
        struct rusage r;
        ::getrusage(RUSAGE_SELF, &r);
        return static_cast<qint64>(r.ru_minflt + r.ru_majflt);
    };
    std::vector<qint64> nsCharger, nsBrutLire, fautesCharger, fautesBrut, cpuCharger, cpuBrut;
    std::unique_ptr<TMonBayesDB> base;
    qint64 rssAvant = 0, tasAvant = 0, rssApres = 0, tasApres = 0;
    for (int essai = 0; essai < 5; ++essai) {
        base.reset();
        ::malloc_trim(0);
        QElapsedTimer t;
        qint64 f = fautes();
        qint64 c = processeur();
        t.start();
        QByteArray relu;
        {
            QFile fb(rep.filePath(QStringLiteral("brut.bin")));
            fb.open(QIODevice::ReadOnly);
            relu = fb.readAll();
        }
        nsBrutLire.push_back(t.nsecsElapsed());
        cpuBrut.push_back(processeur() - c);
        fautesBrut.push_back(fautes() - f);
        relu = QByteArray();
        ::malloc_trim(0);
        rssAvant = rssOctets();
        tasAvant = tasOctets();
        f = fautes();
        c = processeur();
        t.restart();
        base = std::make_unique<TMonBayesDB>(chemin, rep.path());
        nsCharger.push_back(t.nsecsElapsed());
        cpuCharger.push_back(processeur() - c);
        fautesCharger.push_back(fautes() - f);
        rssApres = rssOctets();
        tasApres = tasOctets();
        base->Temporaire = true;
    }
    const auto mediane = [](std::vector<qint64> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("load of %d tokens: median %.0f ms (min %.0f); raw read of the same bytes: median "
                "%.0f ms (min %.0f); ratio of medians %.2f; page faults %lld (raw read %lld)\n",
                base->NbMots(), ms(mediane(nsCharger)),
                ms(*std::min_element(nsCharger.begin(), nsCharger.end())), ms(mediane(nsBrutLire)),
                ms(*std::min_element(nsBrutLire.begin(), nsBrutLire.end())),
                double(mediane(nsCharger)) / double(mediane(nsBrutLire)),
                static_cast<long long>(mediane(fautesCharger)),
                static_cast<long long>(mediane(fautesBrut)));
    std::printf("load processor time: median %.0f ms; raw read %.0f ms; ratio %.2f\n",
                ms(mediane(cpuCharger)), ms(mediane(cpuBrut)),
                double(mediane(cpuCharger)) / double(std::max<qint64>(1, mediane(cpuBrut))));
    std::printf("memory of the loaded base: %.1f MB on the heap (%.0f bytes per token), RSS delta "
                "%.1f MB; file %.1f MB\n",
                (tasApres - tasAvant) / 1e6, double(tasApres - tasAvant) / n,
                (rssApres - rssAvant) / 1e6, octets / 1e6);
    QElapsedTimer t;
    // Lookups and learning against the big base.
    TBayesDoc doc(base.get());
    doc.Analyser("nouveau jeton unique pour la mesure wabc wxyz", 0, {}, 100);
    t.start();
    for (int i = 0; i < 100; ++i) {
        base->Apprendre(doc, i % 2);
        doc.Evaluer(*base, 5);
    }
    std::printf("learn + evaluate a small document against it: %.1f us each\n",
                t.nsecsElapsed() / 1e3 / 100);
}

} // namespace

// Loads one file a few times, nothing else: for profilers (callgrind, perf).
int chargerSeul(const QString& chemin, int fois) {
    std::vector<qint64> ns;
    int32_t nb = 0;
    for (int i = 0; i < fois; ++i) {
        QElapsedTimer t;
        t.start();
        TMonBayesDB base(chemin, QFileInfo(chemin).path(), false);
        base.Temporaire = true;
        base.Charger();
        ns.push_back(t.nsecsElapsed());
        nb = base.NbMots();
    }
    std::printf("load of %d tokens from %s: median %.1f ms over %d\n", nb, qPrintable(chemin),
                stats(ns).mediane, fois);
    return 0;
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // bench_bayes --charger FILE [N]: the load alone.
    if (argc >= 3 && qstrcmp(argv[1], "--charger") == 0)
        return chargerSeul(QString::fromLocal8Bit(argv[2]), argc >= 4 ? std::atoi(argv[3]) : 1);
    // KELVARIN_BENCH_SANS_CORPUS=1 measures the large base alone.
    const QString dossier =
        qEnvironmentVariableIsSet("KELVARIN_BENCH_SANS_CORPUS") ? QString() : dossierCorpus();
    if (dossier.isEmpty()) {
        std::printf("corpus not available\n");
    } else {
        corpus(dossier);
    }
    millionDeJetons();
    return 0;
}
