#pragma once
// What every fuzz target shares: a private scratch folder on tmpfs, removed at
// exit, for the readers that take a path; and the data folder of the sources.
#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <cstddef>
#include <cstdint>

class TEncodageDecodage;

namespace fuzz {

// Put at the top of LLVMFuzzerTestOneInput: when the input is done, the lines
// it traced are dropped. The trace keeps its lines in memory, so an input that
// traces would otherwise end with more allocations than frees, and libFuzzer
// answers each such input with a full leak scan of the process.
struct TEntree {
    TEntree() = default;
    TEntree(const TEntree&) = delete;
    TEntree& operator=(const TEntree&) = delete;
    ~TEntree();
};

// The input as bytes, without a copy.
inline QByteArray Octets(const uint8_t* data, size_t size) {
    return QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
}

// The process's own folder (ended by '/'), made on first use and removed when
// the process exits.
const QString& Repertoire();
// Writes `contenu` to `nom` in that folder and returns the path.
QString EcrireFichier(const QString& nom, const QByteArray& contenu);
// Empties the folder, so no input sees what an earlier one left.
void ViderRepertoire();
// Reads a file whole; empty when missing.
QByteArray LireFichier(const QString& chemin);
// The same lines, in any order: a file whose records are sorted by a key that
// the writer's control-byte cleaning changed may list them in another order.
bool MemesLignes(const QByteArray& a, const QByteArray& b);
// Aborts with both texts on standard error: a round trip that does not hold.
[[noreturn]] void Echec(const char* quoi, const QByteArray& attendu, const QByteArray& obtenu);

// The shipped data (charset tables).
inline QString RepertoireDonneesSource() {
    return QStringLiteral(KELVARIN_DATA_DIR);
}

// The decoder of encoded words and charsets, with the shipped charset
// tables, made on first use and kept for the whole run.
TEncodageDecodage& Encodage();

} // namespace fuzz
