# vorn: `make run` builds and starts the viewer, `make test` builds and runs
# every test. Both install missing Debian packages first.
BUILD ?= build
TEST_BUILD ?= build-asan
JOBS ?= $(shell nproc)
MAP ?=
PREFIX ?= /usr/local

.PHONY: all deps build run test bench install deb format lint clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	@scripts/run-viewer $(BUILD) $(MAP)

test: deps
	@cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_SANITIZE=ON \
		-DVORN_BENCH=OFF >/dev/null
	@cmake --build $(TEST_BUILD) -j$(JOBS)
	@scripts/with-xvfb ctest --test-dir $(TEST_BUILD) --output-on-failure

bench: build
	@scripts/run-benchmarks $(BUILD)

# Installs under $(PREFIX) (and below $(DESTDIR), when set).
install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package, $(BUILD)/vorn_<version>_<arch>.deb, and its debug
# symbols, vorn-dbgsym_<version>_<arch>.ddeb, from the plain build; then the
# checks Debian makes of a package.
deb: build
	@cd $(BUILD) && cpack -G DEB
	@scripts/check-package $(BUILD)

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h' '*.c')

# clang-format, the include graph and clang-tidy; configures build-lint/.
lint: deps
	@scripts/lint build-lint

clean:
	rm -rf $(BUILD) $(TEST_BUILD) build-lint build-fuzz
