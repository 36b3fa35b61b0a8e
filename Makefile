# The two everyday commands: `make run` and `make test`. Both install what is missing first.
BUILD_DIR ?= build
ASAN_DIR ?= build-asan
JOBS ?= $(shell nproc)
SOURCES = $(shell git ls-files '*.cpp' '*.h')

.PHONY: deps build run demo package test test-sanitized bench format format-check screenshots clean

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD_DIR) -j$(JOBS)

run: build
	$(BUILD_DIR)/bin/orvanta $(ARGS)

demo: build
	$(BUILD_DIR)/bin/orvanta-demo

package: build
	cd $(BUILD_DIR) && rm -f orvanta_*.deb && cpack -G DEB
	desktop-file-validate packaging/example.belvedyne.orvanta.desktop
	appstreamcli validate --pedantic --no-net $(BUILD_DIR)/packaging/example.belvedyne.orvanta.metainfo.xml
	lintian --pedantic --fail-on error,warning $(BUILD_DIR)/orvanta_*.deb

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j$(JOBS)

test-sanitized: deps
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DORVANTA_SANITIZE=ON -DORVANTA_BUILD_BENCH=OFF
	cmake --build $(ASAN_DIR) -j$(JOBS)
	# One test at a time: instrumented code runs several times slower, and the suite's
	# deadlines are for one loaded machine, not for two sanitized suites side by side.
	cd $(ASAN_DIR) && ctest --output-on-failure

bench: build
	$(BUILD_DIR)/bench/bench_catalogue
	$(BUILD_DIR)/bench/bench_selection
	$(BUILD_DIR)/bench/bench_run
	$(BUILD_DIR)/bench/bench_sitemap
	$(BUILD_DIR)/bench/bench_checking
	$(BUILD_DIR)/bench/bench_content

format:
	clang-format -i $(SOURCES)

format-check:
	clang-format --dry-run --Werror $(SOURCES)

screenshots: build
	scripts/take-screenshots $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR)
