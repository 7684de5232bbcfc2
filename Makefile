# Thin wrapper over CMake. Every target installs what it needs first.
JOBS     ?= $(shell nproc)
RELEASE  := build/release
ASAN     := build/asan
FUZZ     := build/fuzz
FUZZ_SECONDS ?= 60
PREFIX   ?= /usr/local
DESTDIR  ?=
CMAKE_GEN := -G Ninja

.PHONY: setup build asan windows play test test-release test-asan bench fuzz content install uninstall deb format format-check clean

setup:
	@scripts/setup

$(RELEASE)/build.ninja: | setup
	@cmake -S . -B $(RELEASE) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release >/dev/null

$(ASAN)/build.ninja: | setup
	@cmake -S . -B $(ASAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DHALCYON2_SANITIZE=ON >/dev/null

build: setup $(RELEASE)/build.ninja
	@cmake --build $(RELEASE) -j $(JOBS)

asan: setup $(ASAN)/build.ninja
	@cmake --build $(ASAN) -j $(JOBS)

# The Windows build (ARCH=x86_64 or i686), cross-built with mingw-w64 into
# build/windows (build/windows-i686): halcyon2.exe with the Linux build's
# data.zip and murikka.mp3 beside it, and halcyon2-windows.zip holding them.
# The Linux build also compiles the setup dialog's resource for it.
ARCH ?= x86_64
WINDOWS := build/windows$(if $(filter-out x86_64,$(ARCH)),-$(ARCH))

windows: setup $(RELEASE)/build.ninja
	@cmake --build $(RELEASE) -j $(JOBS) --target content resources
	@cmake -S . -B $(WINDOWS) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-$(ARCH).cmake \
	  -DHALCYON2_CONTENT_DIR=$(CURDIR)/$(RELEASE)/bin >/dev/null
	@cmake --build $(WINDOWS) -j $(JOBS)
	@ls -l $(WINDOWS)/bin/halcyon2.exe $(WINDOWS)/halcyon2-windows.zip

# Build, make the content (the build does that) and play the show from the
# folder that holds data.zip and murikka.mp3.
play: build
	@cd $(RELEASE)/bin && ./halcyon2

content: build
	@cmake --build $(RELEASE) --target content

# The show, its launcher and data, the capture tool, desktop entry, icons and
# manual pages under PREFIX; DESTDIR stages them elsewhere (for packagers).
# The list of installed files is kept apart from CMake's own manifest, which
# any later install of the build (the package test's) overwrites.
install: build
	@DESTDIR="$(DESTDIR)" cmake --install $(RELEASE) --prefix "$(PREFIX)" --strip
	@sed 's|^|$(DESTDIR)|' $(RELEASE)/install_manifest.txt > $(RELEASE)/installed-files.txt

# Removes what the last `make install` put in place.
uninstall:
	@if [ -f $(RELEASE)/installed-files.txt ]; then \
	  xargs -d '\n' rm -f < $(RELEASE)/installed-files.txt; \
	  for d in share/halcyon2 libexec/halcyon2 share/doc/halcyon2; do \
	    rmdir "$(DESTDIR)$(PREFIX)/$$d" 2>/dev/null || true; done; \
	  rm -f $(RELEASE)/installed-files.txt; fi

# The Debian package in build/release/package, checked with lintian.
deb: build
	@rm -f $(RELEASE)/package/*.deb
	@cd $(RELEASE) && cpack -G DEB >/dev/null
	@lintian --fail-on error $(RELEASE)/package/*.deb
	@ls $(RELEASE)/package/*.deb

# The optimised build's tests include the Windows build's under Wine, so the
# 64-bit Windows build comes first.
test-release: build
	@$(MAKE) --no-print-directory windows ARCH=x86_64
	@cd $(RELEASE) && ctest --output-on-failure -j $(JOBS)

test-asan: asan
	@cd $(ASAN) && ctest --output-on-failure -j $(JOBS)

# Both configurations: the optimised build and the sanitizer build.
test: test-release test-asan

bench: build
	@for b in $(RELEASE)/bin/bench_*; do [ -x "$$b" ] && echo "== $$b" && "$$b"; done; true

# Each target runs FUZZ_SECONDS over its committed seeds (fuzz/corpus/<name>)
# plus what earlier runs found (build/fuzz/corpus/<name>), within 512 MB so
# that an input making a reader allocate far beyond its size is a finding; a
# finding stops with the end of its log, the crashing input lands in
# build/fuzz/.
fuzz: setup
	@cmake -S . -B $(FUZZ) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DHALCYON2_FUZZ=ON -DHALCYON2_TESTS=OFF -DHALCYON2_CONTENT=OFF >/dev/null
	@cmake --build $(FUZZ) -j $(JOBS)
	@for f in $(FUZZ)/bin/fuzz_*; do [ -x "$$f" ] || continue; n=$$(basename $$f | sed 's/^fuzz_//'); \
	  mkdir -p $(FUZZ)/corpus/$$n fuzz/corpus/$$n; \
	  echo "== $$n for $(FUZZ_SECONDS) s"; \
	  if ! $$f -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=512 -malloc_limit_mb=512 -artifact_prefix=$(FUZZ)/ \
	       $(FUZZ)/corpus/$$n fuzz/corpus/$$n >$(FUZZ)/$$n.log 2>&1; then \
	    tail -n 40 $(FUZZ)/$$n.log; exit 1; fi; \
	  tail -n 2 $(FUZZ)/$$n.log; done

# The tree's one style (.clang-format): `format` applies it, `format-check`
# fails on any file that differs (CI runs it).
format: setup
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check: setup
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

clean:
	@rm -rf build
