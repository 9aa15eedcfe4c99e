// Structured rows for the large synthetic reference: species, strengths, doses and withdrawal
// periods for about half of the products, taken from their own dose texts so that an export of
// the synthetic content publishes back. The figures are as synthetic as the texts.
#pragma once

#include "content/content.h"

// Adds the rows to a set whose items are already generated; the nine tables stay as they are.
void addSyntheticStructuredRows(ContentSet &set, quint64 seed);
