# The two set-up commands: `make demo` and `make test`. Both install what is
# missing from Debian's packages, build, and run.
BUILD ?= build
JOBS ?= 2
PACKAGES := cmake ninja-build g++ make libgtest-dev libgmock-dev libbenchmark-dev \
            nlohmann-json3-dev libtinygltf-dev pkg-config libosmesa6-dev libpng-dev pngcheck assimp-utils
# Node.js and npm run the glTF validator. A machine may have them from another source than Debian (whose
# npm package conflicts with such a nodejs), so they are installed only when the commands are missing.
NODE_PACKAGES := nodejs npm
GLTF_VALIDATOR := gltf-validator@2.0.0-dev.3.10

# The lanes of `make test` beyond the plain suite, each in a build folder of its own: the whole suite under
# AddressSanitizer and UndefinedBehaviorSanitizer (built with clang, which also builds the fuzzers), the
# threaded areas under ThreadSanitizer, and the format check. Only `make test` and `make fuzz` need these
# packages, so `make demo` does not install them.
LANE_PACKAGES := clang libclang-rt-14-dev llvm clang-format
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
# Line tables are enough for the sanitizers' reports and build much faster than full debug information.
LANE_CMAKE := -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWAKEWEAVE_BENCH=OFF
CLANG_LANE := -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only"
# The thread lane builds with g++, whose sanitizer runtime is a shared library: a test program that
# replaces operator new (tests/particles meters allocations) links against it, not against clang's
# static copy.
GCC_LANE := -DCMAKE_CXX_COMPILER=g++ -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1"
# The test programs that start threads.
TSAN_AREAS := recalc win32 particles host_script host_fnpub modifier panel
empty :=
space := $(empty) $(empty)
# Seconds each fuzzer runs: in the suite (a smoke run) and under `make fuzz`.
FUZZ_SMOKE_SECONDS ?= 45
FUZZ_SECONDS ?= 600
FUZZ_RSS_MB ?= 2048

# Every report is fatal, leaks included (the suite frees what it allocates); the symbolizer names lines.
export ASAN_OPTIONS ?= detect_leaks=1:abort_on_error=0:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1:strict_string_checks=1
export UBSAN_OPTIONS ?= print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS ?= halt_on_error=1:second_deadlock_stack=1
export LSAN_OPTIONS ?= report_objects=1

.PHONY: all deps deps-lanes build validator demo test test-plain test-asan test-tsan fuzz bench clean

all: build

# $(1): the Debian packages to install when missing.
define install_missing
	@missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  SUDO=""; [ "$$(id -u)" = 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi
endef

deps:
	$(call install_missing,$(PACKAGES))
	@if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then \
	  echo "Installing: $(NODE_PACKAGES)"; \
	  SUDO=""; [ "$$(id -u)" = 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $(NODE_PACKAGES); \
	fi

deps-lanes: deps
	$(call install_missing,$(LANE_PACKAGES))

# The reference glTF validator, for the export tests; kept inside the build folder.
validator: deps
	@[ -f $(BUILD)/tools/node_modules/gltf-validator/package.json ] || \
	  npm install --prefix $(BUILD)/tools --no-audit --no-fund --loglevel=error $(GLTF_VALIDATOR)

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# The demo runs the program, which loads the plug-in module and the stand-ins: only those are built, not
# the test programs or the benchmark (`make test` builds everything).
demo: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target wakeweave Wakeweave
	$(BUILD)/wakeweave demo

# Each lane prints how long it took.
test: test-plain test-asan test-tsan

test-plain: build validator deps-lanes
	@start=$$(date +%s); cd $(BUILD) && ctest --output-on-failure -j $(JOBS) && \
	  echo "lane plain: $$(( $$(date +%s) - start )) s"

$(ASAN_BUILD)/build.ninja: | deps-lanes
	cmake -S . -B $(ASAN_BUILD) $(LANE_CMAKE) $(CLANG_LANE) -DCMAKE_CXX_FLAGS="-D_GLIBCXX_ASSERTIONS" \
	  -DWAKEWEAVE_SANITIZE=address,undefined -DWAKEWEAVE_FUZZ=ON

# The whole suite and the fuzzers' smoke runs; the export tests use the plain build's validator.
test-asan: deps-lanes validator $(ASAN_BUILD)/build.ninja
	@start=$$(date +%s); \
	cmake -S . -B $(ASAN_BUILD) -DWAKEWEAVE_FUZZ_SECONDS=$(FUZZ_SMOKE_SECONDS) >/dev/null && \
	cmake --build $(ASAN_BUILD) -j $(JOBS) && \
	mkdir -p $(ASAN_BUILD)/tools && ln -sfn $(abspath $(BUILD))/tools/node_modules $(ASAN_BUILD)/tools/node_modules && \
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) -LE format && \
	echo "lane address+undefined sanitizers and fuzz smoke: $$(( $$(date +%s) - start )) s"

$(TSAN_BUILD)/build.ninja: | deps-lanes
	cmake -S . -B $(TSAN_BUILD) $(LANE_CMAKE) $(GCC_LANE) -DWAKEWEAVE_SANITIZE=thread

test-tsan: deps-lanes $(TSAN_BUILD)/build.ninja
	@start=$$(date +%s); \
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(addprefix test_,$(TSAN_AREAS)) && \
	cd $(TSAN_BUILD) && ctest --output-on-failure -j $(JOBS) -L '^($(subst $(space),|,$(TSAN_AREAS)))$$' && \
	echo "lane thread sanitizer: $$(( $$(date +%s) - start )) s"

# Runs every fuzzer for FUZZ_SECONDS, one after the other, growing its corpus in the lane's build folder.
fuzz: deps-lanes $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	@for f in $(ASAN_BUILD)/fuzz/fuzz_*; do \
	  [ -f "$$f" ] && [ -x "$$f" ] || continue; name=$$(basename $$f); \
	  echo "== $$name for $(FUZZ_SECONDS) s"; \
	  mkdir -p $(ASAN_BUILD)/fuzz/$$name.corpus; \
	  seeds=""; for s in fuzz/$$name $(ASAN_BUILD)/fuzz/$$name.seeds; do [ -d "$$s" ] && seeds="$$seeds $$s"; done; \
	  $$f -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=$(FUZZ_RSS_MB) -max_len=4096 -timeout=10 -print_final_stats=1 \
	    -artifact_prefix=$(ASAN_BUILD)/fuzz/$$name- $(ASAN_BUILD)/fuzz/$$name.corpus $$seeds || exit 1; \
	done

# Only the benchmark program is built; BENCH_ARGS go to it (e.g. --benchmark_filter=Writer). Each figure is
# printed beside its limit, and a table of them ends the run.
BENCH_ARGS ?= --benchmark_min_time=1
bench: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target wakeweave_bench
	$(BUILD)/wakeweave_bench $(BENCH_ARGS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD)
