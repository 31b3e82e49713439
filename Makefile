# Thin wrapper over CMake. `make run` and `make test` install what is missing, build, and run.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
FILE ?=
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: build deps configure run test bench bench-peers clean fuzz fuzz-short test-asan install uninstall package

build: deps configure
	cmake --build $(BUILD) -j$(JOBS)

deps:
	@./scripts/install-deps.sh

# In CI (CI set) every compiler warning fails the build.
WERROR ?= $(if $(CI),ON,OFF)

configure:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DZV_WERROR=$(WERROR) >/dev/null

run: build
	./$(BUILD)/zuvelo-pgp $(FILE)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

# `make bench`: a Release tree of its own ($(BUILD)-release), then one table of every figure beside its
# floor, also written to $(BUILD)/bench/summary.tsv. `make bench-peers` times this program and the peer
# editors (installed from Debian when missing) by their pixels under Xvfb.
bench: deps
	cmake -S . -B $(BUILD)-release -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD)-release -j$(JOBS) --target zuvelo-pgp bench_app bare_editor bench_vertical
	bench/run.sh $(BUILD)-release $(BUILD)/bench/summary.tsv

bench-peers:
	bench/peers.sh $(BUILD)-release

# `make install` puts the program under $(PREFIX) (below $(DESTDIR) when set, for staging); `make uninstall`
# (with the same DESTDIR) removes what the last install of the build tree put there. A real install (no DESTDIR)
# also refreshes the menu's caches.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"
	@if [ -z "$(DESTDIR)" ]; then $(refresh_desktop); fi

uninstall:
	DESTDIR="$(DESTDIR)" cmake --build $(BUILD) --target uninstall
	@if [ -z "$(DESTDIR)" ]; then $(refresh_desktop); fi

refresh_desktop = \
	if command -v update-desktop-database >/dev/null; then \
		update-desktop-database -q "$(PREFIX)/share/applications" || true; fi; \
	if [ -f "$(PREFIX)/share/icons/hicolor/index.theme" ] && command -v gtk-update-icon-cache >/dev/null; then \
		gtk-update-icon-cache -q -t "$(PREFIX)/share/icons/hicolor" || true; fi

# The Debian package, built with debhelper (debian/) from a copy of the tree:
# $(BUILD)/zuvelo-pgp_<version>_<arch>.deb, with its .changes and .buildinfo beside it.
package: deps
	scripts/build-deb.sh $(BUILD)

# Fuzzing with clang and libFuzzer, in a build tree of its own ($(BUILD)/fuzz); `make test` runs the short
# run as its test fuzz_short. FUZZ_SECONDS is the time for each target.
FUZZ_SECONDS ?= 600
fuzz: deps
	fuzz/run.sh --seconds $(FUZZ_SECONDS) --build-dir $(BUILD)/fuzz

fuzz-short: deps
	fuzz/run.sh --seconds 12 --build-dir $(BUILD)/fuzz

# Every test built and run with AddressSanitizer and UndefinedBehaviorSanitizer (the fuzz run has its own).
test-asan: deps
	cmake -S . -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=Debug -DZV_SANITIZE=ON >/dev/null
	cmake --build $(BUILD)-asan -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(BUILD)-asan --output-on-failure -j$(JOBS) -LE fuzz

clean:
	rm -rf $(BUILD) $(BUILD)-release $(BUILD)-asan
