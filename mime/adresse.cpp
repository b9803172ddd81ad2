#include "mime/adresse.h"

void SeparerAdresse(QByteArrayView texte, QByteArray& nom, QByteArray& adresse) {
    nom.clear();
    adresse.clear();
    const QByteArrayView t = texte.trimmed();
    QByteArray* sortie = &nom;
    qsizetype debut = 0;
    bool guillemets = false;
    bool arobase = false;
    bool chevronOuvert = false; // inside <...>
    bool chevronVu = false;     // an address in angle brackets was taken
    bool parenthese = false;    // inside a comment after the address
    auto prendre = [&](qsizetype i) {
        if (i > debut) sortie->append(t.sliced(debut, i - debut));
        debut = i + 1;
    };
    qsizetype i = 0;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        if (c == '\\') {
            prendre(i);
            if (i + 1 < t.size()) ++i; // taken as it is: stays in the next run
            continue;
        }
        if (c == '"') {
            prendre(i);
            guillemets = !guillemets;
            continue;
        }
        if (guillemets) continue;
        if (c == '@') arobase = true;
        if (c == '<' && !chevronOuvert) {
            if (chevronVu) break; // a second address: the first one is kept
            prendre(i);
            sortie = &adresse;
            chevronOuvert = true;
        } else if (c == '>' && chevronOuvert) {
            prendre(i);
            sortie = &nom;
            chevronOuvert = false;
            chevronVu = true;
        } else if (c == '(' && arobase && !chevronOuvert && !chevronVu && !parenthese) {
            prendre(i);
            sortie = &adresse;
            parenthese = true;
        } else if (c == ')' && parenthese) {
            prendre(i);
            sortie = &nom;
            parenthese = false;
        }
    }
    if (i >= t.size()) prendre(t.size());
    if (!adresse.contains('@') && nom.contains('@')) std::swap(nom, adresse);
    nom = nom.trimmed();
    adresse = adresse.trimmed();
}

QByteArray ExtraireAdresse(QByteArrayView texte) {
    QByteArray nom, adresse;
    SeparerAdresse(texte, nom, adresse);
    return adresse;
}
