// Opaque handles to what the worker keeps open: one router connection, one started thread. The
// settings record carries them; the code that opens them (collect/) defines them.
#pragma once

struct Connection;
struct ThreadRecord;
