# Thin wrapper: the scripts do the work and install what they need.
.PHONY: run test format bench
run:
	scripts/run.sh
test:
	scripts/test.sh
format:
	git ls-files -co --exclude-standard -- '*.cpp' '*.h' | grep -v '^build/' | xargs clang-format -i
bench:
	scripts/bench.sh
