# The two commands of the project: `make test` and `make run`; `make demo` shows the program with a
# simulated scale.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja

.PHONY: test run demo deps build build-asan

deps:
	@tools/install-deps

build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWEYVANE_WERROR=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	@cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DWEYVANE_SANITIZE=ON \
		-DWEYVANE_WERROR=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)

test: build build-asan
	tools/check-layers
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
