#pragma once
// The Bayesian text of a message: header values, plain text and visible HTML
// text laid end to end, with the offsets that separate the three zones.
#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <cstdint>

// The subject written twice (S CR LF S), or nothing for an empty subject.
QByteArray PrefixeSujet(QByteArrayView sujet);

namespace bayes {

// True when a plain part of at most 3 lines holds only blank lines: it is then
// dropped from the text (and from the decoder, so the review page agrees).
bool plainSansTexte(const QByteArrayList& lignes);

// The visible text of the HTML lines: each run between tags on a line of its own.
// Text after the last tag and text cut by a stray ">" are not kept.
QByteArray texteVisibleHtml(const QByteArrayList& lignes);

// Lays out the text from header values already decoded to code page 1252 (one
// per kept header line), the plain lines (empty when dropped) and the HTML lines.
QByteArray assemblerTexte(const QByteArrayList& valeursEntete, const QByteArrayList& plain,
                          const QByteArrayList& html, int32_t& finTexte, int32_t& finEntetes);
// The same after header values already written to `texte`, each followed by CR LF.
void ajouterCorps(QByteArray& texte, const QByteArrayList& plain, const QByteArrayList& html,
                  int32_t& finTexte, int32_t& finEntetes);
// About the bytes the body zones take (the HTML text may take a little more), for a reserve.
qsizetype tailleCorps(const QByteArrayList& plain, const QByteArrayList& html);

} // namespace bayes
