// The software board: its buffers, texture memory and rasteriser (placeholder).
