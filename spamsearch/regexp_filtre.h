#pragma once
// The regular-expression test behind the expression lists: an unanchored search,
// case-sensitive and not multi-line unless the expression asks otherwise. An
// invalid or empty expression, or one that exceeds the match limit, does not match.
#include <QByteArrayView>

constexpr int kLimiteRegExpDefaut = 200000;

bool CorrespondRegExp(QByteArrayView valeur, QByteArrayView expression,
                      int limite = kLimiteRegExpDefaut);
