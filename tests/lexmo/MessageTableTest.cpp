// Both catalogs against their callers: every number in use is there, and every
// text's conversions take the values that its callers pass, in count and kind.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "lexmo/Lexmo.h"

namespace {

// Values a caller passes, in order: T text, I integer, F floating point,
// N integer or text (the same position gets either, by case).
struct Use {
    int number;
    const char* values;
    // Conversions the text may have beyond the values (+1: one renders empty)
    // or short of them (-1: the last value is left out on purpose).
    int slack;
    const char* caller;
};

const Use kUses[] = {
    // The credentials question of the client and the probe.
    {2090, "T", 0, "credentials question: the server's address"},
    {2091, "T", 0, "credentials question: the proxy's address"},
    {2092, "", 0, "credentials question: user name label"},
    {2093, "", 0, "credentials question: password label"},
    {2094, "", 0, "credentials question: title"},
    // HotSync conduit: progress window, status lines, HotSync log, boxes.
    {2044, "", 0, "both status lines when the monitor is created"},
    {2082, "", 0, "progress window title"},
    {2083, "", 0, "progress window cancel button"},
    {2037, "", 0, "status line 1 after start-up; status line 2 in the second stage"},
    {2038, "", 0, "status line 1 in the third stage"},
    {2066, "", 0, "status line 2 in the third stage"},
    {2062, "", 0, "status line 1 when channel processing starts"},
    {2047, "T", 0, "status line 2: channel id being received"},
    {2063, "", 0, "status line 2 when the worker ends or is cancelled"},
    {2049, "T", 0, "status line 1: channel id being installed"},
    {2027, "T", 0, "status line 1: \"Norvelia.prc\" not installed; list not updated"},
    {2023, "", 0, "HotSync log: card information unreadable"},
    {2024, "", 0, "HotSync log: database list unreadable"},
    {2006, "T", 0, "HotSync log: session not opened, server URL"},
    {2084, "", 0, "HotSync log, followed by the probe's message; test program box"},
    {2051, "T", 0, "question after a cancel: channel id"},
    {2052, "", 0, "caption of that question"},
    {2034, "TT", 0, "HotSync log: channel id, error list"},
    {2020, "", 0, "HotSync log: every channel handled"},
    {2031, "", 0, "HotSync log: user context not installed"},
    {2054, "TT", 0, "catalog unreadable: database name, name string or \"AppInfo\""},
    {2022, "TT", 0, "list unreadable: database name, name string or \"AppInfo\"/\"ItemRef(s)\""},
    {2000, "TTT", -1, "list update failed: context, name, name (the repeat left out)"},
    {2000, "TT", 0, "user context update failed: context, database name"},
    {2026, "T", 0, "new catalog unreadable: path"},
    {2028, "T", 0, "order not updated: list name"},
    {2029, "", 0, "user context not updated"},
    {2030, "T", 0, "user context file unreadable: path"},
    {2036, "", 0, "write to the handheld failed"},
    {2035, "", 0, "database not created"},
    {2032, "TT", 0, "catalog not installed: path, channel id"},
    {2033, "TT", 0, "list not installed: path, channel id"},
    {2053, "", 0, "unexpected failure while installing"},
    {2019, "TT", 0, "server query failed: channel id, error text"},
    {2018, "T", 0, "unexpected failure in the worker: exception text"},
    {2021, "", 0, "unexpected failure when processing starts"},
    // Server client: raised errors and errors stored in channels.
    {2006, "T", 0, "request not created: context"},
    {2046, "", 0, "too many authentication challenges"},
    {2045, "T", 0, "status 403: context"},
    {2011, "TT", 0, "unexpected status: context, status text"},
    {2011, "T", 1, "unexpected exception: context only"},
    {2003, "T", 0, "answer unreadable or argument missing: context"},
    {2004, "T", 0, "part without a name: context"},
    {2002, "T", 0, "argument past the buffer: context"},
    {2001, "TT", 0, "unknown channel: id, context"},
    {2007, "TT", 0, "file not opened or written: path, context or empty text"},
    {2008, "TT", 0, "file shorter than its length: path, context"},
    {2009, "", 0, "no caller passes values"},
    {2010, "T", 0, "declaration refused: the service's message"},
    {2012, "T", 0, "declaration failed: error text or \"system error\""},
    {2013, "TTT", 0, "list error: file name, channel id, error text"},
    {2050, "TT", 0, "game error: channel id or game name, error text"},
    {2014, "TTN", 0, "catalog error: channel id, error text, error number or \"000\""},
    {2015, "TTT", -1, "catalog not written: path, channel id, always-empty text"},
    {2016, "TTT", -1, "list not written: path, channel id, always-empty text"},
    // Connection probe: texts used as formats.
    {2045, "T", 0, "status 403: \"HTTP_STATUS_FORBIDDEN\""},
    {2085, "T", 0, "status 404: URL"},
    {2086, "I", 0, "other status: the status code"},
    {2060, "IF", 0, "bytes so far, kilobytes per second"},
    {2061, "I", 0, "bytes so far"},
    {2062, "I", -1, "after the last piece: total bytes (left out, see the catalogs)"},
    {2063, "", 0, "successful end"},
    {2064, "T", 0, "resolving: host name"},
    {2065, "T", 0, "resolved: address"},
    {2066, "", 0, "connecting"},
    {2067, "", 0, "request sent"},
    {2068, "", 0, "sending request"},
    {2069, "", 0, "connected"},
    {2070, "", 0, "response received"},
    {2071, "", 0, "closing connection"},
    {2072, "", 0, "connection closed"},
    {2073, "II", 0, "request complete: result, error"},
    {2074, "", 0, "request complete"},
    {2075, "I", 0, "other notification: status number"},
    {2076, "", 0, "error 12023"},
    {2077, "", 0, "error 12029"},
    {2078, "", 0, "error 12030"},
    {2079, "", 0, "error 12031"},
    {2080, "", 0, "error 12037"},
    {2081, "I", 0, "other errors: the code"},
    // Connection test program.
    {2055, "", 0, "success box"},
    {2056, "", 0, "window title and box caption"},
    {2057, "", 0, "explanation"},
    {2058, "", 0, "check button"},
    {2059, "", 0, "quit button"},
    {2084, "", 0, "failure box"},
    // The HotSync window and the HotSync action dialog.
    {4018, "T", 0, "users unreadable: why"},
    {4019, "T", 0, "no user: the HotSync home"},
    {4022, "T", 0, "synchronizing: the handheld"},
    {4024, "IT", 0, "not synchronized: status, why"},
    {4029, "TT", 0, "no backup: handheld, user"},
    {4030, "ITI", 0, "backup choice: rank, date, databases"},
    {4031, "T", 0, "restore question: the handheld"},
    {4032, "T", 0, "handheld busy: the handheld"},
    {4033, "T", 0, "restore stopped: why"},
    {4034, "ITT", 0, "restored: count, date, handheld"},
    {4200, "T", 0, "HotSync log, no new backup: the newest backup's date"},
    {4201, "T", 0, "HotSync log, damaged on the handheld: database file"},
    {4202, "TTI", 0, "restore question: date, handheld, databases replaced"},
    {4203, "T", 0, "restored: date of the backup taken before"},
    {4204, "T", 0, "nothing restored: why the backup failed"},
    {4035, "T", 0, "closing during a run: the cancel button"},
    {4048, "T", 0, "action dialog: the conduit"},
    // hotsync on the terminal: questions, the progress view.
    {4609, "T", 0, "answer when stopping: the answer"},
    {4610, "T", 0, "answer without a terminal: the answer"},
    {4617, "T", 0, "action kept without a terminal: the action"},
    {4618, "T", 0, "action question: the conduit"},
    {4624, "T", 0, "progress view: the cancel button"},
    // HotSync log lines of the handheld's folder and of the conduit.
    {4630, "T", 0, "database not written: name and reason"},
    {4631, "T", 0, "deletions kept: the names"},
    {4632, "T", 0, "database not deleted: name"},
    {4636, "T", 0, "channels left out: the names shown, and one more"},
    {4638, "IT", 0, "one channel left out: the bound, its name"},
    // The server client's and the probe's own failures.
    {4641, "I", 0, "stalled: seconds"},
    {4643, "I", 0, "query too long: seconds"},
    // The backup before a run, in the HotSync log.
    {4650, "TT", 0, "earlier backup not moved: folder, why"},
    {4651, "TT", 0, "earlier backup moved: date, where"},
    {4652, "TIT", 0, "earlier backup moved: date, databases, where"},
    {4653, "TT", 0, "damaged on the handheld: file, date of the sound copy"},
    {4654, "T", 0, "damaged everywhere: file"},
    {4655, "TT", 0, "old backup not removed: folder, why"},
    // libcurl's failures: the server or proxy.
    {4660, "T", 0, "name not found: host"},
    {4661, "T", 0, "proxy name not found: proxy"},
    {4662, "T", 0, "connection refused: host"},
    {4663, "T", 0, "timed out: host"},
    {4664, "T", 0, "certificate: host"},
    {4665, "T", 0, "TLS failed: host"},
    {4666, "T", 0, "no answer: host"},
    {4667, "T", 0, "connection broken: host"},
    // A run that cannot start or that the conduit left, its title and question.
    {4668, "TTT", 0, "conduit not loaded: path, reason, folder"},
    {4669, "TTT", 0, "no handheld: folder, reason, folder"},
    {4670, "TT", 0, "no handheld: file, reason"},
    {4671, "TTT", 0, "not a handheld: folder, file, folder"},
    {4672, "TT", 0, "handheld not writable: folder, reason"},
    {4673, "TT", 0, "no such user: name, home"},
    {4674, "TT", 0, "conduit entry point missing: path, name"},
    {4675, "TT", 0, "handheld information unreadable: file, folder"},
    {4676, "TTT", 0, "ownership question: folder, owner, user"},
    {4677, "T", 0, "ownership declined: owner"},
    {4678, "T", 0, "handheld busy: folder"},
    {4679, "T", 0, "no handheld: folder"},
    {4680, "", 0, "a run already attached"},
    {4681, "T", 0, "backup failed: reason"},
    {4682, "TTT", 0, "run title: user, conduit, sync type"},
    {4683, "T", 0, "run progress line: title"},
    {4684, "T", 0, "conduit threw: conduit"},
    {4685, "TT", 0, "window log line: label, text"},
    {4686, "T", 0, "Windows window restore: reason"},
    {4700, "", 0, "sync type in the run title"},
    {4701, "", 0, "sync type in the run title"},
    {4702, "", 0, "sync type in the run title"},
    {4703, "", 0, "sync type in the run title"},
    {4704, "", 0, "sync type in the run title"},
    {4705, "", 0, "sync type in the run title"},
    {4706, "", 0, "sync type in the run title"},
    {4707, "", 0, "sync type in the run title"},
    // The verdict of a run, the fate of each order, and the conduit's own lines.
    {4100, "T", 0, "run verdict, order fates and the conduit's own log lines"},
    {4101, "TT", 0, "run verdict, order fates and the conduit's own log lines"},
    {4102, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4103, "TTT", 0, "run verdict, order fates and the conduit's own log lines"},
    {4105, "TTT", 0, "run verdict, order fates and the conduit's own log lines"},
    {4106, "TITT", 0, "run verdict, order fates and the conduit's own log lines"},
    {4108, "I", 0, "run verdict, order fates and the conduit's own log lines"},
    {4109, "TT", 0, "run verdict, order fates and the conduit's own log lines"},
    {4110, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4111, "T", 0, "run verdict, order fates and the conduit's own log lines"},
    {4112, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4113, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4115, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4116, "TT", 0, "run verdict, order fates and the conduit's own log lines"},
    {4117, "TTT", 0, "run verdict, order fates and the conduit's own log lines"},
    {4118, "T", 0, "run verdict, order fates and the conduit's own log lines"},
    {4119, "IT", 0, "run verdict, order fates and the conduit's own log lines"},
    {4120, "TT", 0, "run verdict, order fates and the conduit's own log lines"},
    {4121, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4122, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4123, "T", 0, "run verdict, order fates and the conduit's own log lines"},
    {4124, "T", 0, "run verdict, order fates and the conduit's own log lines"},
    {4125, "T", 0, "run verdict, order fates and the conduit's own log lines"},
    {4126, "T", 0, "run verdict, order fates and the conduit's own log lines"},
    {4127, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4128, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4129, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4130, "T", 0, "run verdict, order fates and the conduit's own log lines"},
    {4131, "TT", 0, "run verdict, order fates and the conduit's own log lines"},
    {4132, "TT", 0, "run verdict, order fates and the conduit's own log lines"},
    {4133, "TTT", 0, "run verdict, order fates and the conduit's own log lines"},
    {4134, "TTT", 0, "run verdict, order fates and the conduit's own log lines"},
    {4135, "T", 0, "run verdict, order fates and the conduit's own log lines"},
    {4136, "TT", 0, "run verdict, order fates and the conduit's own log lines"},
    {4137, "T", 0, "run verdict, order fates and the conduit's own log lines"},
    {4138, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4139, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4140, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4141, "T", 0, "run verdict, order fates and the conduit's own log lines"},
    {4142, "IT", 0, "run verdict, order fates and the conduit's own log lines"},
    {4143, "T", 0, "run verdict, order fates and the conduit's own log lines"},
    {4144, "T", 0, "run verdict, order fates and the conduit's own log lines"},
    {4145, "I", 0, "run verdict, order fates and the conduit's own log lines"},
    {4146, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4150, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4151, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4152, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4153, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4160, "T", 0, "run verdict, order fates and the conduit's own log lines"},
    {4161, "T", 0, "run verdict, order fates and the conduit's own log lines"},
    {4162, "T", 0, "run verdict, order fates and the conduit's own log lines"},
    {4163, "T", 0, "run verdict, order fates and the conduit's own log lines"},
    {4164, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4165, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4166, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4167, "T", 0, "run verdict, order fates and the conduit's own log lines"},
    {4168, "T", 0, "run verdict, order fates and the conduit's own log lines"},
    {4170, "TTT", 0, "run verdict, order fates and the conduit's own log lines"},
    {4171, "TTT", 0, "run verdict, order fates and the conduit's own log lines"},
    {4172, "TTT", 0, "run verdict, order fates and the conduit's own log lines"},
    {4173, "TTT", 0, "run verdict, order fates and the conduit's own log lines"},
    {4174, "TT", 0, "run verdict, order fates and the conduit's own log lines"},
    {4175, "T", 0, "run verdict, order fates and the conduit's own log lines"},
    {4176, "T", 0, "run verdict, order fates and the conduit's own log lines"},
    {4177, "T", 0, "run verdict, order fates and the conduit's own log lines"},
    {4178, "TT", 0, "run verdict, order fates and the conduit's own log lines"},
    {4179, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4180, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4181, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4182, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4183, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4184, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4185, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4186, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4187, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4188, "", 0, "run verdict, order fates and the conduit's own log lines"},
    {4189, "T", 0, "run verdict, order fates and the conduit's own log lines"},
    {4190, "TT", 0, "run verdict, order fates and the conduit's own log lines"},
    {4192, "T", 0, "notification of a run with problems: the user"},
    {4191, "", 0, "run verdict, order fates and the conduit's own log lines"},
    // The settings programs: what is true on Linux, the question's buttons.
    {4400, "", 0, "connection page: the system's proxy settings"},
    {4401, "", 0, "question box: Yes"},
    {4402, "", 0, "question box: No"},
    {4403, "TI", 0, "probe on Linux: a request failed, libcurl's reason and the WinInet number"},
    {4404, "", 0, "credentials question: Cancel"},
    {4540, "T", 0, "users.dat entry left out: the file"},
    {4541, "IT", 0, "users.dat entries left out: count, the file"},
    // Users, settings, schedule and notifications of the HotSync programs.
    {4300, "TT", 0, "user not added: name, why"},
    {4301, "TT", 0, "user added: name, folder"},
    {4302, "TTT", 0, "no server: user, NvPassword page, command"},
    {4303, "TTTT", 0, "server without address: server, user, page, command"},
    {4304, "TTTT", 0, "server address not http: server, address, page, command"},
    {4305, "TTTT", 0, "no login: user, server, page, command"},
    {4306, "TT", 0, "user not renamed: name, why"},
    {4307, "TT", 0, "user renamed: name, new name"},
    {4308, "TT", 0, "user not removed: name, why"},
    {4309, "TT", 0, "user removed, folder kept: name, folder"},
    {4311, "II", 0, "daily: hours, minutes"},
    {4313, "I", 0, "every: hours"},
    {4314, "I", 0, "every: minutes"},
    {4315, "T", 0, "service unit: user"},
    {4316, "TT", 0, "timer unit: user, when"},
    {4317, "T", 0, "not scheduled: the text that is not UTF-8"},
    {4318, "T", 0, "not scheduled: why"},
    {4320, "T", 0, "schedule: journal command"},
    {4321, "T", 0, "no systemctl: unit folder"},
    {4322, "TT", 0, "no user manager: why, command"},
    {4323, "TTT", 0, "timer not started: folder, why, command"},
    {4324, "T", 0, "no schedule: user"},
    {4325, "TT", 0, "schedule not removed: user, why"},
    {4326, "TT", 0, "schedule removed: user, timer"},
    {4327, "TTT", 0, "user removed, folder shared: name, folder, other user"},
    {4328, "TT", 0, "user removed with folder: name, folder"},
    {4329, "TTT", 0, "user removed, folder left: name, folder, why"},
    {4330, "T", 0, "notification: user"},
    {4331, "T", 0, "notification abandoned: user"},
    {4332, "T", 0, "notification failed: user"},
    {4334, "TTT", 0, "defaults imported: file, servers, store"},
    {4335, "T", 0, "defaults not imported: why"},
    {4336, "T", 0, "no notification: why"},
    {4337, "TTTT", 0, "schedule: user, handheld, when, timer"},
    {4339, "TT", 0, "last run: date, verdict"},
    {4340, "T", 0, "last run failed: why"},
    {4343, "T", 0, "no run yet: user"},
    {4349, "T", 0, "rename question: name"},
    {4350, "TT", 0, "remove question: name, folder"},
    {4354, "T", 0, "handheld page: user"},
    {4357, "TI", 0, "handheld found: owner, databases"},
    {4358, "TT", 0, "not a handheld: folder, choice"},
    {4359, "T", 0, "folder not empty: folder"},
    {4360, "TT", 0, "no such folder: folder, choice"},
    {4361, "T", 0, "login page: user"},
    {4362, "TT", 0, "login stored: user, server"},
    {4363, "T", 0, "no server: NvPassword page"},
    {4368, "TTTTT", 0, "set up done: user, handheld, server, button, menu item"},
    {4372, "TT", 0, "schedule dialog: user, handheld"},
    {4373, "T", 0, "schedule off: the button"},
    // The handheld's data as a shopper reads it: handheld show and its window.
    {4380, "II", 0, "price: units, hundredths"},
    {4381, "", 0, "to buy: yes"},
    {4382, "", 0, "to buy: no"},
    {4383, "T", 0, "heading: catalog name"},
    {4384, "T", 0, "heading: list name"},
    {4385, "T", 0, "heading: form name"},
    {4386, "T", 0, "heading: game list name"},
    {4387, "T", 0, "heading: user context name"},
    {4388, "T", 0, "not the service's: database name"},
    {4389, "", 0, "damaged database"},
    {4390, "", 0, "items without a category"},
    {4391, "TTT", 0, "item: name, reference, price"},
    {4392, "T", 0, "item: old price"},
    {4393, "TT", 0, "item: valid from, to"},
    {4394, "T", 0, "item: valid from"},
    {4395, "T", 0, "item: valid until"},
    {4396, "TII", 0, "picture: name, width, height"},
    {4397, "", 0, "no picture"},
    {4398, "T", 0, "picture missing: name"},
    {4399, "TTI", 0, "picture in another format: name, format, bytes"},
    {4900, "", 0, "catalog without items"},
    {4901, "T", 0, "list: its catalog"},
    {4902, "T", 0, "order waiting: date"},
    {4903, "", 0, "deliver to, no alias"},
    {4904, "T", 0, "order placed: date"},
    {4905, "T", 0, "order refused: the service's message"},
    {4906, "", 0, "no order"},
    {4907, "T", 0, "last attempt: the service's message"},
    {4908, "T", 0, "deliver to: alias"},
    {4909, "T", 0, "delivery charges: price"},
    {4910, "T", 0, "comment"},
    {4911, "", 0, "column: to buy"},
    {4912, "", 0, "column: quantity"},
    {4913, "", 0, "column: item"},
    {4914, "", 0, "column: reference"},
    {4915, "", 0, "column: price"},
    {4916, "T", 0, "total to buy: price"},
    {4917, "", 0, "list without lines"},
    {4918, "TT", 0, "game score: reference, points"},
    {4919, "T", 0, "order: its state"},
    {4920, "T", 0, "service user id"},
    {4921, "", 0, "no user id"},
    {4922, "", 0, "password kept, not shown"},
    {4923, "", 0, "no password"},
    {4924, "", 0, "addresses"},
    {4925, "", 0, "no address"},
    {4926, "TT", 0, "address: alias, the service's number"},
    {4927, "T", 0, "local address: alias"},
    {4928, "T", 0, "no handheld: folder"},
    {4929, "TT", 0, "no database: name, folder"},
    {4930, "TT", 0, "unreadable: path, why"},
    {4931, "T", 0, "damaged: name or path"},
    {4932, "T", 0, "view window title: database name"},
    {4933, "", 0, "close button"},
    {4934, "T", 0, "box title: database name"},
    {4935, "", 0, "database list tooltip"},
    {4936, "", 0, "game without a score"},
    {4937, "TI", 0, "picture that is no image: name, bytes"},
    // What a restore says of the orders its lists hold.
    {4950, "", 0, "restored orders: heading"},
    {4951, "TTT", 0, "restored order already placed: list, channel, the service's date"},
    {4952, "TTT", 0, "restored form already sent: list, channel, the service's date"},
    {4953, "TT", 0, "restored order unknown: list, channel"},
    {4954, "TT", 0, "restored order unknown, backup older than the journal: list, channel"},
    {4955, "TTT", 0, "restored order held, journal unreadable: list, channel, why"},
    {4990, "", 0, "hotsync.exe's window: a run stopped with Ctrl-Break"},
    {4991, "", 0, "hotsync.exe's window: a run stopped as its console closed"},
};

// The last number of each range of texts shown as they stand.
constexpr int kLastTerminalText = 4625;

// The settings program copies every one of its texts with KESA_GetMessage
// and shows it as it stands: labels, captions, column titles and boxes.
std::vector<Use> AllUses()
{
    std::vector<Use> uses(std::begin(kUses), std::end(kUses));
    for (int n = 3000; n <= 3057; ++n)
        if (n != 3024) uses.push_back({n, "", 0, "settings program text"});
    for (int n = 4000; n <= 4048; ++n)
        if (std::none_of(std::begin(kUses), std::end(kUses), [n](const Use& u) { return u.number == n; }))
            uses.push_back({n, "", 0, "HotSync window text"});
    for (int n = 4600; n <= kLastTerminalText; ++n)
        if (n != 4608 && std::none_of(std::begin(kUses), std::end(kUses), [n](const Use& u) { return u.number == n; }))
            uses.push_back({n, "", 0, "hotsync terminal text"});
    for (int n : {4640, 4642, 4644, 4645, 4646}) uses.push_back({n, "", 0, "client or probe failure text"});
    for (int n = 4470; n <= 4476; ++n) uses.push_back({n, "", 0, "Windows installer text"});
    for (int n = 4300; n <= 4379; ++n)
        if (std::none_of(std::begin(kUses), std::end(kUses), [n](const Use& u) { return u.number == n; }))
            uses.push_back({n, "", 0, "HotSync programs' text"});
    return uses;
}

// Numbers each program uses, as its catalogs must carry them.
std::set<int> NumbersInUse()
{
    std::set<int> n;
    auto range = [&n](int from, int to) {
        for (int i = from; i <= to; ++i) n.insert(i);
    };
    range(3000, 3057);
    n.erase(3024);
    range(4000, 4048);
    range(4600, kLastTerminalText);
    n.erase(4608); // Cancel is 4404
    range(4630, 4632);
    n.insert({4636, 4638});
    range(4640, 4646);
    range(4650, 4655);
    range(4660, 4686);
    range(4700, 4707); // sync types
    range(4400, 4404);
    range(4470, 4476);
    range(4540, 4541);
    range(4200, 4204); // backups and restore
    range(4300, 4379);
    range(4380, 4399);
    range(4900, 4937);
    range(4950, 4955); // orders of a restored backup
    range(4990, 4991); // how the console stopped a run of hotsync.exe's window
    range(2055, 2059);
    n.insert(2084);
    n.insert(2045);
    range(2060, 2081);
    n.insert({2085, 2086});
    range(2090, 2094);
    n.insert({2000, 2006});
    range(2018, 2024);
    range(2026, 2038);
    n.insert({2044, 2047, 2049});
    range(2051, 2054);
    n.insert({2062, 2063, 2066});
    range(2082, 2084);
    range(2001, 2004);
    range(2006, 2016);
    n.insert({2045, 2046, 2050});
    for (const Use& u : kUses)
        if (u.number >= 4100 && u.number < 4200) n.insert(u.number);
    return n;
}

bool Compatible(char value, char conv)
{
    const std::string integers = "diuxX";
    const std::string floats = "eEfFgG";
    switch (value) {
    case 'T': return conv == 's';
    case 'I': return integers.find(conv) != std::string::npos;
    case 'F': return floats.find(conv) != std::string::npos;
    case 'N': return conv == 's';  // a number under %s renders in decimal
    default: return false;
    }
}

// The French texts of the forms and windows, as designed.
const std::pair<int, const char*> kFrenchDesignTexts[] = {
    {2056, "Vérification de la connexion Norvelia"},
    {2057, "Pour vérifier que votre ordinateur accède correctement aux serveurs Norvelia, vous devez préalablement "
           "être connecté à Internet. Si ce n'est pas le cas, effectuer une connexion avant de lancer la vérification."},
    {2058, "&Vérifier"},
    {2059, "&Quitter"},
    {3000, "Définition du mot de passe Norvelia"},
    {3001, "Pour assurer la sécurité de vos synchronisations avec les serveur Norvelia, nous vous demandons de bien "
           "vouloir confirmer le login et le password que vous avez fournis lors de votre inscription sur le site "
           "Norvelia."},
    {3002, "Utilisateur Palm"},
    {3003, "Identification "},
    {3004, "Login Norvelia"},
    {3005, "Mot de passe"},
    {3006, "Confirmation mot de passe"},
    {3007, "Mot de Passe Norvelia"},
    {3008, "Norvelia - Gestion des mots de passe"},
    {3009, "&Valider"},
    {3010, "&Quitter"},
    {3011, "Vérifier la connexion"},
    {3012, "Vérification de la connexion aux serveurs Norvelia"},
    {3013, "Cette page vous permet de tester que la connexion aux serveurs Norvelia fonctionne correctement et, si ce "
           "n'est pas le cas, de modifier les paramètres de connexion."},
    {3014, "Mode de connexion "},
    {3015, "Utiliser les paramètres par défaut de Windows"},
    {3016, "Définir manuellement les paramètres d'identification de mon Proxy/Firewall"},
    {3017, "Paramètres d'identification de mon Proxy/Firewall "},
    {3018, "Nom d'utilisateur"},
    {3020, "Aucune information n'est envoyée à Norvelia"},
    {3021, "&Tester"},
    {3030, "Information"},
    {3032, "Serveur Norvelia"},
    {3033, "Serveurs"},
    {3034, "Configuration des serveurs Norvelia"},
    {3035, "Ici, vous pouvez facilement administrer les serveurs disponibles pour votre Norvelia : ajout, "
           "modification, suppression... "},
    {3036, "Ajouter/Modifier un serveur"},
    {3038, "Supprimer le serveur"},
    {3039, "Login et Password "},
    {3040, "Serveur par défaut"},
    {3047, "Nouveau Serveur"},
    {3048, "Nom du Serveur"},
    {3049, "URL du Serveur"},
    {3051, "est utilisé comme serveur par défaut pour les utilisateurs suivants"},
    {3052, "Connexion au Serveur"},
    {3053, "Veuillez rentrer ci-dessous vos paramètres de connexion au serveur :  "},
    {3054, "Nom de l'Utilisateur"},
    {3055, "Serveur par Défaut"},
};

class MessageTable : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override { loaded_ = KESA_LoadMessages(GetParam()); }
    int loaded_ = 0;
};

TEST_P(MessageTable, CarriesEveryNumberInUseAndNothingElse)
{
    const std::set<int> inUse = NumbersInUse();
    EXPECT_EQ(loaded_, static_cast<int>(inUse.size()));
    for (int n : inUse) EXPECT_FALSE(lexmo::MessageText(n).empty()) << n;
    // Every number in use is in the table of callers, and the other way round.
    std::set<int> used;
    for (const Use& u : AllUses()) used.insert(u.number);
    EXPECT_EQ(used, inUse);
}

TEST_P(MessageTable, ConversionsMatchWhatCallersPass)
{
    for (const Use& u : AllUses()) {
        const std::string text = lexmo::MessageText(u.number);
        const std::string conv = lexmo::Conversions(text);
        const int values = static_cast<int>(std::string(u.values).size());
        const int have = static_cast<int>(conv.size());
        SCOPED_TRACE(std::to_string(u.number) + " (" + u.caller + "): \"" + text + "\"");
        if (u.slack >= 0) {
            EXPECT_GE(have, values);
            EXPECT_LE(have, values + u.slack);
        } else {
            EXPECT_LE(have, values);
            EXPECT_GE(have, values + u.slack);
        }
        for (int i = 0; i < std::min(have, values); ++i)
            EXPECT_TRUE(Compatible(u.values[i], conv[static_cast<size_t>(i)])) << "value " << i << " %" << conv[static_cast<size_t>(i)];
    }
}

TEST_P(MessageTable, EveryPercentSignIsAConversion)
{
    // Texts shown as they stand and texts used as formats both read right
    // only without literal percent signs.
    for (int n : NumbersInUse()) {
        const std::string text = lexmo::MessageText(n);
        EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '%')), lexmo::Conversions(text).size())
            << n << ": " << text;
    }
}

TEST_P(MessageTable, TextsFitTheBuffersOfTheirCallers)
{
    // The settings program copies captions into 64 bytes and texts into 2048.
    for (int n : {3023, 3030}) EXPECT_LT(lexmo::MessageText(n).size(), 64u) << n;
    for (int n : NumbersInUse()) {
        if (n >= 3000) {
            EXPECT_LT(lexmo::MessageText(n).size(), 2048u) << n;
        }
    }
    // The probe keeps at most 99 characters of the error-code suffix and
    // formats each status line into 512 bytes.
    EXPECT_LE(KESA_FormatMessage(2081, UINT32_MAX).size(), 99u);
    for (int n = 2060; n <= 2081; ++n) EXPECT_LT(lexmo::MessageText(n).size(), 400u) << n;
}

INSTANTIATE_TEST_SUITE_P(Catalogs, MessageTable, ::testing::Values("Lexmo.dll", "LexmoUs.dll"),
                         [](const auto& info) { return std::string(info.param).substr(0, std::string(info.param).find('.')); });

TEST(Catalogs, BothLanguagesCarryTheSameConversions)
{
    std::vector<std::string> french;
    ASSERT_GT(KESA_LoadMessages("Lexmo.dll"), 0);
    for (int n : NumbersInUse()) french.push_back(lexmo::Conversions(lexmo::MessageText(n)));
    ASSERT_GT(KESA_LoadMessages("LexmoUs.dll"), 0);
    size_t i = 0;
    for (int n : NumbersInUse()) EXPECT_EQ(lexmo::Conversions(lexmo::MessageText(n)), french[i++]) << n;
}

TEST(Catalogs, FrenchCarriesTheDesignedTexts)
{
    ASSERT_GT(KESA_LoadMessages("Lexmo.dll"), 0);
    for (const auto& [n, text] : kFrenchDesignTexts) EXPECT_EQ(lexmo::MessageText(n), text) << n;
}

TEST(Catalogs, SharedNumbersReadWellForEachCaller)
{
    ASSERT_GT(KESA_LoadMessages("Lexmo.dll"), 0);
    EXPECT_EQ(KESA_FormatMessage(2014, "C7", "délai dépassé", 2006),
              "Le catalogue de la chaîne C7 n'a pas pu être obtenu : délai dépassé (code 2006)");
    EXPECT_EQ(KESA_FormatMessage(2014, "C7", "aucun catalogue", "000"),
              "Le catalogue de la chaîne C7 n'a pas pu être obtenu : aucun catalogue (code 000)");
    EXPECT_EQ(KESA_FormatMessage(2000, "CNorvCondMgr::PerformListPostSynchro", "ListeC7", "ListeC7"),
              "Erreur inattendue dans CNorvCondMgr::PerformListPostSynchro pendant la mise à jour de la base ListeC7.");
    EXPECT_EQ(KESA_FormatMessage(2000, "CNorvCondMgr::PerformUserCtxPostSynchro", "UserCtx"),
              "Erreur inattendue dans CNorvCondMgr::PerformUserCtxPostSynchro pendant la mise à jour de la base UserCtx.");
    EXPECT_EQ(KESA_FormatMessage(2062), "Échange de données avec le serveur Norvelia...");
    EXPECT_EQ(KESA_FormatText(KESA_FormatMessage(2062), 0u), KESA_FormatMessage(2062));
    EXPECT_EQ(KESA_FormatMessage(2084) + ". (" + KESA_FormatMessage(2077) + ")",
              "La connexion au serveur Norvelia a échoué. Vérifiez votre connexion à Internet et vos paramètres de "
              "connexion. (Impossible de se connecter au serveur.)");
    EXPECT_EQ(KESA_FormatText(KESA_FormatMessage(2060), 8190u, 7.99), "8190 octets reçus (8.0 Ko/s)");
    EXPECT_EQ(std::string("Timeout") + KESA_FormatMessage(2081, 28u), "Timeout (erreur 28)");

    ASSERT_GT(KESA_LoadMessages("LexmoUs.dll"), 0);
    EXPECT_EQ(KESA_FormatMessage(2014, "C7", "no catalog", "000"),
              "The catalog of channel C7 could not be obtained: no catalog (code 000)");
    EXPECT_EQ(KESA_FormatMessage(2027, "Norvelia.prc"), "Norvelia.prc could not be updated on the handheld.");
}

} // namespace
