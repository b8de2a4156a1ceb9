# The commands of the README. Each installs what is missing first.
.PHONY: deps test run windows bench format

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

format:
	@git ls-files '*.h' '*.cc' | xargs clang-format -i
