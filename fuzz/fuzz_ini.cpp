// The settings file "kelvarin.ini": every option read from a hostile file,
// saved into it, and read back equal.
#include "core/settings.h"
#include "core/stockage_config.h"
#include "fuzz/commun.h"

#include <QFile>

namespace {

// The options as EcrireConfig lays them out in an empty file, for two
// configurations: equal bytes mean equal options. The second save finds every
// key in place and writes nothing when the options are the same.
void comparerEcrites(const TConfig& lue, const TConfig& relue) {
    const QString chemin = fuzz::Repertoire() + QStringLiteral("vue.ini");
    QFile::remove(chemin);
    TStockageConfig ini;
    if (!ini.Ouvrir(chemin)) __builtin_trap();
    SauverConfig(ini, lue, lue.NumeroCompteMini, lue.NumeroDNSMini);
    const QByteArray a = fuzz::LireFichier(chemin);
    SauverConfig(ini, relue, relue.NumeroCompteMini, relue.NumeroDNSMini);
    const QByteArray b = fuzz::LireFichier(chemin);
    if (a != b) fuzz::Echec("options saved into kelvarin.ini", a, b);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::TEntree finEntree;
    fuzz::ViderRepertoire();
    const QString chemin =
        fuzz::EcrireFichier(QStringLiteral("kelvarin.ini"), fuzz::Octets(data, size));
    TConfig lue;
    {
        TStockageConfig ini;
        if (!ini.Ouvrir(chemin)) return 0;
        {
            // Ouvrir read and parsed the file; within a group the reads do not
            // read it again for every key (its bytes are the same anyway).
            TStockageConfig::TLot lot(ini);
            LireConfig(ini, lue);
            LireAutresCles(ini, lue);
            QByteArray brute;
            (void)ini.ValeurBrute("Init", "PortEcoute", brute);
        }
        SauverConfig(ini, lue, lue.NumeroCompteMini, lue.NumeroDNSMini);
    }
    TConfig relue;
    {
        TStockageConfig ini;
        if (!ini.Ouvrir(chemin)) __builtin_trap();
        TStockageConfig::TLot lot(ini);
        LireConfig(ini, relue);
        LireAutresCles(ini, relue);
    }
    comparerEcrites(lue, relue);
    int n = 0;
    (void)TStockageConfig::EntierStrict(fuzz::Octets(data, size), n);
    (void)TStockageConfig::SansGuillemets(fuzz::Octets(data, size));
    return 0;
}
