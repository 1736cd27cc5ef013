#pragma once
// System-wide hotkeys: the key poll that names every key pressed since the
// previous tick, and the dispatch of those names to the player's actions.

#include <cstdint>
#include <functional>
#include <string>

namespace quellora {

enum class THotkeyAction;

// One pass over the scanned codes; every key pressed since the previous
// pass is handed to HandleKey at once, in scan order.
void PollKeys();
// The same pass with the names handed to `handle` instead.
void PollKeys(const std::function<void(const std::string&)>& handle);

// True when `code` has been pressed since its previous query; `name` is then
// set to `shifted` or `plain` depending on ShiftDown.
bool CheckOemKey(std::uint32_t code, const std::string& shifted, const std::string& plain,
                 std::string& name);

// Shift is held now or has been pressed since its previous query.
bool ShiftDown();

// Runs the action bound to `name` in the settings; never raises.
void HandleKey(const std::string& name);

// Carries out one of the eight actions exactly as its key does, but lets
// what fails escape: the keys discard it, the desktop's media controls
// answer with it.
void RunAction(THotkeyAction action);

} // namespace quellora
