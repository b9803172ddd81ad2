#pragma once
// A Mozilla preferences file ("prefs.js"): lines of the form
//   user_pref("mail.server.server1.hostname", "pop.example.org");
// read and changed one preference at a time, every other byte of the file
// kept as it was. A changed preference keeps its line and only its value is
// replaced; a new one is inserted where the program itself would write it (the
// names are in alphabetical order); a removed one loses its line. The file is
// UTF-8; string values use JavaScript escapes.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

class TPrefsJs {
public:
    explicit TPrefsJs(const QByteArray& contenu = {});
    QByteArray Contenu() const;

    bool Existe(QByteArrayView nom) const;
    // The value as written in the file ("995", "\"pop.example.org\"", "true");
    // empty when the preference is absent. The last line of a name counts.
    QByteArray Brut(QByteArrayView nom) const;
    // A string value, decoded; none when absent or not a string.
    std::optional<QString> Chaine(QByteArrayView nom) const;
    // An integer value; none when absent or not an integer.
    std::optional<int> Entier(QByteArrayView nom) const;
    // The names of the preferences, in file order (a repeated name once).
    QList<QByteArray> Noms() const;

    // `brut` is a value as the file writes it (a number, true/false, or a
    // quoted string).
    void DefinirBrut(QByteArrayView nom, const QByteArray& brut);
    void DefinirChaine(QByteArrayView nom, const QString& valeur);
    void DefinirEntier(QByteArrayView nom, int valeur);
    void Supprimer(QByteArrayView nom);

    // A string literal's text (without its quotes) decoded; false when the
    // escapes are broken.
    static bool DecoderChaine(QByteArrayView litteral, QString& texte);
    // A string as a quoted literal.
    static QByteArray EncoderChaine(const QString& texte);

private:
    struct TLigne {
        QByteArray Texte; // without its line end
        QByteArray Fin;   // "\n", "\r\n" or empty (the last line)
        // Set for a preference line.
        QByteArray Nom;
        qsizetype DebutValeur = -1, FinValeur = -1;
    };
    static void analyser(TLigne& l);
    qsizetype chercher(QByteArrayView nom) const; // last line of the name, -1 when none
    QByteArray finDeLigne(qsizetype voisine) const;

    QList<TLigne> m_lignes;
};
