#pragma once
// Byte classes shared by the MIME parser and the header-word decoders.

namespace octetsmime {

inline bool estBlanc(char c) {
    return c == ' ' || c == '\t';
}

// Value of a hexadecimal digit, -1 for any other byte.
inline int valeurHexa(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Value of a base64 digit, -1 for any other byte.
inline int valeurBase64(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

} // namespace octetsmime
