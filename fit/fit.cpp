#include "fit/fit.hpp"

#include "fit/fitdrv.hpp"
#include "fit/fitsetup.hpp"
#include "fit/objcel.hpp"
#include "fit/prparm.hpp"
#include "fit/recwalk.hpp"
#include "jobbase/areas.hpp"

namespace qv::fit {

void FIT(runtime::Vec1<double> X, int /*size*/, runtime::Vec1<int> IX, jobbase::Labtab& LABTAB, int& nslots) {
  // The counters of the multivariate normal integration are the job's.
  MVNCNT.reset();
  // The record groups' areas are laid out for this job.
  forget_record_areas(X, jobbase::icell(X(1)));
  FITCNT(X, IX, LABTAB, nslots);
  int mode = prmode::kSpecification;
  PRPARM(X, IX, LABTAB, mode, jobbase::FESTAT.FEACTV, jobbase::FESTAT.MACHOUT);
  FITLAY(X, IX);
  FITDRV(X, IX, LABTAB);
}

}  // namespace qv::fit
