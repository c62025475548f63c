// The empty orphan scan result.
#include "app/scanners/OrphanScanResult.h"

namespace veldo::scanners {

const OrphanScanResult OrphanScanResult::empty{};

} // namespace veldo::scanners
