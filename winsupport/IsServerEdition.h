#pragma once

// Whether the system is a server edition (server or domain controller): any product type
// but workstation, and also whenever the system can't say.
bool IsServerEdition();
