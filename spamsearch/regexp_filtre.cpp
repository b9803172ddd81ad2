#include "spamsearch/regexp_filtre.h"

#include "core/cp1252.h"

#include <QHash>
#include <QRegularExpression>

namespace {

// Compiled expressions, keyed by expression and limit; bounded so hostile lists
// cannot grow it without end.
QRegularExpression compiler(QByteArrayView expression, int limite) {
    static QHash<QByteArray, QRegularExpression> cache;
    QByteArray cle = QByteArray::number(limite);
    cle.append('\0').append(expression);
    const auto it = cache.constFind(cle);
    if (it != cache.constEnd()) return *it;
    if (cache.size() > 1000) cache.clear();
    // PCRE2 reads the limit from a start-of-pattern item; a limit hit is a failed match.
    const QString motif =
        QStringLiteral("(*LIMIT_MATCH=%1)").arg(limite) + cp1252::versUnicode(expression);
    QRegularExpression re(motif);
    re.optimize();
    cache.insert(cle, re);
    return re;
}

} // namespace

bool CorrespondRegExp(QByteArrayView valeur, QByteArrayView expression, int limite) {
    if (expression.isEmpty()) return false;
    const QRegularExpression re = compiler(expression, limite > 0 ? limite : 1);
    if (!re.isValid()) return false;
    return re.match(cp1252::versUnicode(valeur)).hasMatch();
}
