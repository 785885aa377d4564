#pragma once
// Minimizers of packed base sequences.

class Minimizers {
public:
    // Padding bytes a packed buffer of n bases needs beyond its ceil(n / 4) data bytes, so
    // that the buffer is a multiple of 32 bytes plus 3 and every 16-byte load stays inside.
    static int get_sequence_padding(int n) { return ((32 - (n + 3) / 4 % 32) % 32) + 3; }
};
