// The agent's callbacks from the platform: quit, session switch, settings
// notification, device arrival and removal, driver messages.
#pragma once

#include "Platform/core/IOKit.h"
#include "Platform/core/Value.h"

#include <cstdint>
#include <string>

using OSErr = std::int16_t;
using OSStatus = std::int32_t;

// The user's session became active again: wait for the console, then re-apply.
OSStatus SwitchEventsHandler(void* handlerCallRef, void* event, void* userData);

// Quit: tear down and end the process with status 0.
OSErr HandleAEQuit(const void* appleEvent, void* reply, long refcon);

// Settings posted by the pane: applied as they are.
void PrefNotifProc(void* center, void* observer, const std::string& name, const std::string& object,
                   const zed::Dictionary* userInfo);

void DeviceAddedNotifProc(void* refCon, zed::ServiceIterator& iterator);
void DeviceRemovedNotifProc(void* refCon, zed::ServiceIterator& iterator);

// The driver's general-interest messages.
void DriverNotifProc(void* refCon, zed::io_service_t service, std::uint32_t messageType,
                     std::uint64_t messageArgument);
// Closes the overlay that driver messages opened (at quit, and for tests).
void ResetDriverNotifProc();
// Draws and sends the steps not yet out (the loop does it when idle;
// the agent also before it ends).
void SendWaitingSteps();
