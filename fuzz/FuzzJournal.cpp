#include "FuzzTargets.h"
#include "base/Errors.h"
#include "domain/Recovery.h"

namespace brellin::fuzz {

// The recovery journal reader: the document at the journal's start, then
// every complete edit and event painted and applied again.
int FuzzJournal(const uint8_t* data, size_t size) {
  int64_t edits = -1;
  try {
    edits = SummarizeJournal(std::vector<uint8_t>(data, data + size)).Edits;
  } catch (const EBrellinError&) {
  }
  TPictureView source, dest;
  TRecoveredDocument r;
  try {
    r = RebuildFromJournal(data, size, &source, &dest, nullptr, nullptr);
  } catch (const EBrellinError&) {
    return 0;
  }
  if (edits != r.Edits) FuzzFailure("the summary and the rebuild count different edits");
  if (r.ValidEnd < 0 || uint64_t(r.ValidEnd) > size) FuzzFailure("complete records past the end");
  if (!r.Damaged && uint64_t(r.ValidEnd) != size) FuzzFailure("undamaged yet not read to its end");
  const TBStates& h = *r.Document->History;
  if (h.Position < 0 || h.Position > h.Count()) FuzzFailure("history position out of range");
  if (source.Bitmap().Width() != dest.Bitmap().Width() ||
      r.Document->FeatureMap.Height() != source.Bitmap().Height())
    FuzzFailure("pictures of different sizes accepted");
  return 0;
}

}  // namespace brellin::fuzz
