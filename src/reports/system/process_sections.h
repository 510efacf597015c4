// The process and module lists as crash-report sections.
#pragma once

namespace velmora {

// At start-up: "processes", then "modules".
void RegisterProcessSections();
// At shutdown.
void UnregisterProcessSections();

}  // namespace velmora
