# make run   installs what is missing, builds, and runs the bundled example
#            script through qvt.
# make test  installs what is missing, builds, and runs every test; then runs
#            the whole suite again in a build with AddressSanitizer and
#            UndefinedBehaviorSanitizer.
# make compare  installs NLopt (libnlopt-dev, a development tool only) and
#            compares NLSQP with E04UCF and NLopt's SLSQP on the published test problems.
# make bench  builds, then times whole qvt processes (a CFA fit, an empty
#            script, /bin/true) and, when R with lavaan is installed, lavaan's
#            cfa() on the same data; then a FIML fit of 10,000 records with
#            missing values against lavaan's cfa(missing = "ml"); then an
#            ordinal one-factor fit of 500 records, unsorted and sorted,
#            against its mvtnorm reference; prints the ratios set as goals
#            (tools/bench/bench.sh).  BENCH_RUNS sets the runs per process,
#            FIML_RUNS those of the FIML fit, ORD_RUNS those of the ordinal fit.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps build run test test-asan compare bench clean

all: build

deps:
	@bash tools/install-deps.sh

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build -j $(JOBS)

run: build
	cd examples && ../build/bin/qvt < example.qv

test: build
	cd build && ctest --output-on-failure -j $(JOBS)
	$(MAKE) test-asan

test-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j $(JOBS)

compare: deps
	@bash tools/install-deps.sh libnlopt-dev
	cmake -S . -B build-compare -DCMAKE_BUILD_TYPE=Release -DQV_COMPARE=ON
	cmake --build build-compare -j $(JOBS) --target nlsqp_compare
	build-compare/bin/nlsqp_compare

BENCH_RUNS ?= 200
bench: build
	bash tools/bench/bench.sh build/bin $(BENCH_RUNS)

clean:
	rm -rf build build-asan build-compare
