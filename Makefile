# The two commands of the project: `make test` and `make run`; `make demo` shows the program with a
# simulated scale; `make bench` measures it, on demand.
BUILD       ?= build
ASAN_BUILD  ?= build-asan
BENCH_BUILD ?= build-bench
JOBS        ?= $(shell nproc)
CMAKE_GEN   := -G Ninja

.PHONY: test run demo deps build build-asan bench

deps:
	@tools/install-deps

build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWEYVANE_WERROR=ON -DWEYVANE_BENCH=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	@cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DWEYVANE_SANITIZE=ON \
		-DWEYVANE_WERROR=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)

test: build build-asan
	tools/check-layers $(BUILD)
	tools/check-format
	tools/run-tests $(BUILD)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 tools/run-tests $(ASAN_BUILD)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
		echo "No display found: starting Weyvane under xvfb-run."; \
		cd $(BUILD)/bin && xvfb-run -a ./weyvane; \
	else \
		cd $(BUILD)/bin && ./weyvane; \
	fi

demo: build
	@tools/demo $(BUILD)

# The benchmarks in a Release build of their own. Runs every bench/bench_* program (offscreen, with
# a private settings folder and session bus) and prints the "figure NAME VALUE" lines they print;
# each program's whole output is in $(BENCH_BUILD)/bench-logs/. The first run also makes the large
# databases that later runs reuse ($(BENCH_BUILD)/bench-cache/).
bench: deps
	@cmake -S . -B $(BENCH_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DWEYVANE_BENCH=ON >/dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS)
	@logs=$(BENCH_BUILD)/bench-logs; rm -rf $$logs; mkdir -p $$logs/config $$logs/runtime; \
	chmod 700 $$logs/runtime; status=0; \
	for b in $(BENCH_BUILD)/bench/bench_*; do \
		[ -f "$$b" ] && [ -x "$$b" ] || continue; \
		n=$$(basename $$b); echo "running $$n" >&2; \
		QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$$PWD/$$logs/config XDG_RUNTIME_DIR=$$PWD/$$logs/runtime \
			dbus-run-session -- $$b > $$logs/$$n.log 2>&1 || { echo "$$n failed: see $$logs/$$n.log" >&2; status=1; }; \
		grep '^figure ' $$logs/$$n.log || true; \
	done; exit $$status
