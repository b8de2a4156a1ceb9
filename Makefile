# The commands of the README. Each installs what is missing first.
.PHONY: deps test run windows bench package fuzz format

deps:
	@scripts/install-deps.sh

test: deps
	@scripts/test.sh

run: deps
	@scripts/run.sh

windows: deps
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows -j $$(nproc)

bench: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $$(nproc)
	@scripts/bench.sh

# build/package/packages/lorvane_VERSION_ARCH.deb and
# build/windows/packages/lorvane-VERSION-windows-x64.zip
package: deps
	@cmake --preset package >/dev/null
	@cmake --build --preset package -j $$(nproc)
	@cd build/package && cpack
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows -j $$(nproc) --target lorvane
	@cd build/windows && cpack

fuzz: deps
	@scripts/fuzz.sh 60

format:
	@git ls-files '*.h' '*.cc' | xargs clang-format -i
