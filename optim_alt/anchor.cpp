// The edition's entry points, kept in the programs that link the library
// although no routine of theirs calls them: the programs name this table as
// an undefined symbol at link time, which pulls this object in, and the
// table, marked used, keeps E04UCF and E04UEF (and all they call) through
// link-time optimisation.
#include "optim_alt/e04ucf.hpp"
#include "optim_alt/options.hpp"

extern "C" {
[[gnu::used]] extern const void* const qv_optim_alt_entries[2];
[[gnu::used]] const void* const qv_optim_alt_entries[2] = {reinterpret_cast<const void*>(&qv::optim_alt::E04UCF),
                                                           reinterpret_cast<const void*>(&qv::optim_alt::E04UEF)};
}
