#pragma once
// Scaffolding: until the livery tables are built by their own subsystem, tests state which liveries
// exist with this call. Deleted together with standin.cpp.

#include <string>

namespace amb {

// Records a livery of the model for the airline (an airline key of at least three characters).
void gf_standinAddLivery(const std::string& airline, const std::string& model);

}  // namespace amb
