// The large synthetic reference every benchmark uses: deterministic (seeded), with the sizes of
// a full real reference (by default 10,000 products, 1,500 groups in up to 5 levels, 1,000
// manufacturers, 300 distributors, 300 dealers, about 60,000 link rows, ~6 KB of packed text
// per product, some images).
#pragma once

#include "content/content.h"

#include <QByteArray>

struct SynthOptions
{
    int products = 10000;
    int groups = 1500;
    int vendors = 1000;
    int distributors = 300;
    int dealers = 300;
    quint64 seed = 20261208;
};

ContentSet generateSynthetic(const SynthOptions &options = {});

// A small RGB PNG of a simple drawn pattern (no image library in the core).
QByteArray synthImagePng(int variant, int width, int height);
