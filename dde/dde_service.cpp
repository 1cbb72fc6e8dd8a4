// TEMPORARY placeholder so the program links while the service is written; replaced whole by its owner.
#include "dde/dde_service.h"
CDdeService::CDdeService() = default;
CDdeService::~CDdeService() = default;
void CDdeService::setDisplays(const CValueDisplay*, const CValueDisplay*) {}
int CDdeService::start(long) { return 1; }
int CDdeService::stop() { return 1; }
void CDdeService::postAdvise() {}
bool CDdeService::running() const { return false; }
