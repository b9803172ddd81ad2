#pragma once
// The translation engine: one per process, installed before any window. It
// holds the current language, reads its file ("kelvarin.<code>.lang" in the
// language directory) whole on first need, and serves every resource string
// (through Res) and every window text (through the window walk of the ui).
//
// The code "xxx" is a test language without a file: window texts get "XXX" in
// front, resource strings "XXX" in front of their stored text, key included.

#include "i18n/resources.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>

class TStockageConfig;

class TTraduction : public ressources::TTraducteur {
public:
    // The process's engine, installed as the resource-string loader on first use.
    static TTraduction& instance();
    TTraduction();
    ~TTraduction() override;

    // The language directory (created when missing) and the charset tables.
    void DefinirRepertoires(const QString& language, const QString& encodage);
    const QString& RepertoireLangue() const { return m_repertoire; }
    // The system locale's language in two capitals ("FR", "EN"); `code` fixes
    // it instead (tests), an empty one goes back to the locale.
    QString CodeLangueSysteme() const;
    void DefinirCodeSysteme(const QString& code) { m_codeSysteme = code; }

    void ChoisirLangue(const QString& code);
    void LangueParDefaut(bool automatique);
    // At start: LanguageDefaut, then LanguageForce when the choice is not automatic.
    void ChoixAuDemarrage(bool languageDefaut, const QString& languageForce);
    // Full path of a code's language file ("gb" and "en" stand in for each
    // other); the code "*" gives the pattern of every file.
    QString FichierLangue(const QString& code) const;

    const QString& CodeLangue() const { return m_code; }
    bool Automatique() const { return m_automatique; }
    bool Test() const { return m_test; }
    int Charset() const { return m_charset; }
    // Opens the language when needed; true when texts are translated.
    bool Active();

    // One text of a window's section, `defaut` when the file has none.
    QString Texte(QStringView section, QStringView cle, const QString& defaut);
    // A stored resource string ("[princ62]Bienvenue sur Kelvarin") as shown.
    QString TraduireRessource(const QString& stocke);

    struct TLangue {
        QString Code;
        QString Description;
    };
    // The language files found, in the order the file system gives them; the
    // template "__" is never among them. The scan stops after `delaiMs`.
    QList<TLangue> Langues(int delaiMs = 3000) const;

    // The language dialog's "Valider" with the item's name ("" no translation,
    // "@" automatic, else a code): the choice made and its two keys written.
    // True when it changed something; `redemarrer` tells that only a restart
    // goes back to the built-in texts.
    bool Valider(const QString& nom, TStockageConfig& ini, bool& redemarrer);

    // "\n" line break (CR LF), "\t" tab, "\\" backslash, "\x" x; then one
    // double quote removed at each end of a text longer than one character.
    static QString ValeurTexte(QStringView brut);
    // CR LF and LF CR (and a lone CR or LF) as "\n", then between double
    // quotes unless it begins with one: a text without key in "resourcestring".
    static QString FormeEchappee(QStringView texte);
    // The %s / %d / %n ... placeholders of both texts, in order, are the same.
    static bool MemesParametres(QStringView a, QStringView b);
    // A language file's bytes as text for a Windows font charset number;
    // `encodage` is the charset tables' directory. False: charset not known
    // (the bytes are then read as Windows-1252).
    static bool Decoder(QByteArrayView octets, int charset, const QString& encodage,
                        QString& texte);

    // ressources::TTraducteur
    QString Ressource(const char* cle, const char16_t* francais) override;
    QString Fenetre(QStringView section, QStringView cle, const QString& defaut) override;

private:
    struct TFichier {
        // Sections and keys lower-cased (Windows-1252), values as stored.
        QHash<QByteArray, QHash<QByteArray, QByteArray>> Sections;
        bool lire(const QByteArray& contenu);
        const QByteArray* valeur(QByteArrayView section, QByteArrayView cle) const;
    };
    bool ouvrir();
    void fermer();
    // The file's value decoded; empty when missing.
    QString valeur(QStringView section, QStringView cle) const;
    static QString description(const QString& chemin, const QString& encodage, const QString& code);

    QString m_repertoire;
    QString m_encodage;
    bool m_repertoireOk = false;
    QString m_codeSysteme;
    QString m_code;
    bool m_automatique = false;
    bool m_test = false;
    int m_charset = 1;
    bool m_ouvert = false;
    TFichier m_fichier;
    QString m_cheminOuvert;
    QHash<QString, QString> m_cache;
};

// Short form of TTraduction::instance().
TTraduction& Traduction();
