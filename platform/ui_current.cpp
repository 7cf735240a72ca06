#include "platform/ui.hpp"

#include <atomic>

namespace amb::platform {

namespace {
std::atomic<Ui*> g_ui{nullptr};
}

Ui* currentUi() { return g_ui.load(std::memory_order_acquire); }
void setCurrentUi(Ui* ui) { g_ui.store(ui, std::memory_order_release); }

}  // namespace amb::platform
