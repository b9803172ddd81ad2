#pragma once
// The command line: switches are accepted as "/x", "-x" and "--x", compared
// without regard to case. "--home DIR" (or "--home=DIR") carries a value, and
// so do the statistics' "--compte", "--periode", "--du" and "--au".

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class TLigneCommande {
public:
    TLigneCommande() = default;
    // The arguments without the program name.
    explicit TLigneCommande(const QStringList& arguments);

    // Given as "/multi", "-multi", "--multi" or "multi".
    bool ParamPresent(QStringView interrupteur) const;
    // The value of --home, empty when absent.
    const QString& Home() const { return m_home; }
    const QStringList& Interrupteurs() const { return m_interrupteurs; }
    // The value of a switch that takes one (see ValeurAttendue); null when
    // absent, or when it was given last without its value (then listed in
    // SansValeur()).
    QString Valeur(QStringView interrupteur) const;
    const QStringList& SansValeur() const { return m_sansValeur; }
    static bool ValeurAttendue(QStringView nom);

    static QString NomInterrupteur(QStringView parametre);

private:
    QStringList m_interrupteurs; // lower-case names without their leading marks
    QString m_home;
    QList<QPair<QString, QString>> m_valeurs; // lower-case name, value
    QStringList m_sansValeur;
};

// The process's command line, installed by main().
void InstallerLigneCommande(const TLigneCommande& ligne);
const TLigneCommande& LigneCommande();
bool ParamPresent(QStringView interrupteur);
