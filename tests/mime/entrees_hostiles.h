#pragma once
// Hostile inputs for the decoders of mime/, shared by the decoding tests and the
// scaling benchmark. Each builder repeats one unit until the text reaches
// `taille` bytes, so that the cost of a decoder can be read against its input.

#include <QByteArray>

#include <functional>

namespace hostile {

// Repeats `unite(i)` (i = 0, 1, ...) until `taille` bytes; returns the count.
inline int repeter(QByteArray& sortie, qsizetype taille,
                   const std::function<QByteArray(int)>& unite) {
    int i = 0;
    while (sortie.size() < taille)
        sortie += unite(i++);
    return i;
}

// The name given to the i-th inline file.
inline QByteArray nomFichier(int i) {
    return "f" + QByteArray::number(i) + ".bin";
}

// yEnc blocks in a plain text body, each a later part ("part=2") of a file of
// its own name: no earlier part to append to, so each one is a new file.
inline QByteArray blocsYEnc(qsizetype taille, int* nb = nullptr) {
    QByteArray m = "Subject: y\r\n\r\n";
    const int n = repeter(m, taille, [](int i) {
        return "=ybegin part=2 line=128 size=1 name=" + nomFichier(i) + "\r\nk\r\n=yend\r\n";
    });
    if (nb) *nb = n;
    return m;
}

// uuencoded blocks that all carry one name: each takes the next "(n)" name.
inline QByteArray blocsUU(qsizetype taille, int* nb = nullptr) {
    QByteArray m = "Subject: u\r\n\r\n";
    const int n =
        repeter(m, taille, [](int) { return QByteArray("begin 644 a.txt\r\n#86)C\r\nend\r\n"); });
    if (nb) *nb = n;
    return m;
}

// Words with a charset and a payload but no encoding letter that decodes, and
// one closing "?=" at the very end: no encoded word anywhere.
inline QByteArray motsSansLettre(qsizetype taille) {
    QByteArray t;
    repeter(t, taille, [](int) { return QByteArray("=?a?X?b "); });
    return t + "?=";
}

// Words that open and never close.
inline QByteArray motsNonFermes(qsizetype taille) {
    QByteArray t;
    repeter(t, taille, [](int) { return QByteArray("=?a?Q?xy"); });
    return t;
}

// Adjacent encoded words of one charset, joined into one payload.
inline QByteArray motsJoints(qsizetype taille, int* nb = nullptr) {
    QByteArray t;
    const int n = repeter(t, taille, [](int) { return QByteArray("=?utf-8?Q?=C3=A9?= "); });
    if (nb) *nb = n;
    return t;
}

// Adjacent words between TABs, which go before anything else.
inline QByteArray motsTabulations(qsizetype taille) {
    QByteArray t;
    repeter(t, taille, [](int) { return QByteArray("\t=?iso-8859-1?Q?=E9?=\t"); });
    return t;
}

// A message whose header is made of the longest lines the parser keeps, each
// full of words without a valid letter.
inline QByteArray enteteMotsSansLettre(qsizetype taille, int* nbLignes = nullptr) {
    QByteArray m;
    const QByteArray ligne = "X-Mots: " + motsSansLettre(64 * 1024 - 16) + "\r\n";
    const int n = repeter(m, taille, [&ligne](int) { return ligne; });
    if (nbLignes) *nbLignes = n;
    return m + "\r\nb\r\n";
}

// A multipart of many small parts, each a near miss of the boundary first.
inline QByteArray partiesNombreuses(qsizetype taille, int* nb = nullptr) {
    QByteArray m = "Content-Type: multipart/mixed; boundary=frontiere\r\n\r\n";
    const int n = repeter(m, taille, [](int i) {
        return "--frontiere\r\nContent-Type: " +
               QByteArray(i == 0 ? "text/plain" : "application/octet-stream") +
               "\r\n\r\n--frontier\r\n--frontieres\r\nx\r\n";
    });
    if (nb) *nb = n;
    return m + "--frontiere--\r\n";
}

// One header field folded over many continuation lines.
inline QByteArray enteteReplie(qsizetype taille) {
    QByteArray m = "Subject: a";
    repeter(m, taille, [](int) { return QByteArray("\r\n \t b"); });
    return m + "\r\n\r\nb\r\n";
}

// A quoted-printable body of soft breaks and stray "=".
inline QByteArray corpsQP(qsizetype taille) {
    QByteArray m = "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
    repeter(m, taille, [](int) { return QByteArray("a=3D=\r\n=Z=\r\n"); });
    return m;
}

// A base64 body with junk and padding inside.
inline QByteArray corpsBase64(qsizetype taille) {
    QByteArray m = "Content-Transfer-Encoding: base64\r\n\r\n";
    repeter(m, taille, [](int) { return QByteArray("YWJj=!*YWJj\r\n"); });
    return m;
}

// UTF-7: shifted runs without their "-", lone "+".
inline QByteArray utf7(qsizetype taille) {
    QByteArray t;
    repeter(t, taille, [](int) { return QByteArray("a+AOk+-+"); });
    return t;
}

// UTF-8: sequences cut short by the next lead byte.
inline QByteArray utf8(qsizetype taille) {
    QByteArray t;
    repeter(t, taille, [](int) { return QByteArray("\xF0\x9F\xE2\x82\xC3"); });
    return t;
}

// A file name of blanks, escapes and quotes.
inline QByteArray nomHostile(qsizetype taille) {
    QByteArray t;
    repeter(t, taille, [](int) { return QByteArray("  %41%2F*\\x<"); });
    return t;
}

// An address value of brackets, comments, quotes and backslashes.
inline QByteArray adresseHostile(qsizetype taille) {
    QByteArray t = "a@b ";
    repeter(t, taille, [](int) { return QByteArray("(x<y\\\"\"z)<"); });
    return t;
}

// A charset table file of many lines.
inline QByteArray tableLongue(qsizetype taille) {
    QByteArray t = "nom grand\r\n";
    repeter(t, taille, [](int i) {
        return "0x" + QByteArray::number(i % 256, 16) + " 0x" + QByteArray::number(i, 16) +
               " # commentaire\r\n";
    });
    return t;
}

// A Content-Type line with many parameters that end in "boundary=".
inline QByteArray parametresLeurres(qsizetype taille) {
    QByteArray t = "multipart/mixed;";
    repeter(t, taille, [](int) { return QByteArray(" xboundary=y;"); });
    return t + " boundary=b";
}

} // namespace hostile
